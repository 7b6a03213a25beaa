// Exports, extended properties, addresses, field work and array results of the automation object.
#include "platform/ole/SafeArray.h"
#include "server/core/FileUtil.h"
#include "server/core/TextFields.h"
#include "tests/server/ObjectFixture.h"

#include <fstream>
#include <sys/stat.h>

using namespace navilonix::server;
using navilonix::server::testing::ObjectTest;
using O = NavilonixObject;

namespace {

// RFC 4180: fields separated by `separator`, quoted fields with doubled quotes, CRLF rows.
std::vector<std::vector<std::string>> parseCsv(const std::string& text, char separator = ',') {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == separator) {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.empty() && row.empty()) << "the last row must end with CRLF";
    return rows;
}

class Services : public ObjectTest {
protected:
    HRESULT computeJuly() {
        EXPECT_EQ(start("taxi.grp", 21305, "01.07.2009 00:00:00", "03.07.2009 00:00:00"), S_OK);
        waitForEnd();
        return readLong(&O::get_ComputingCheck) == 1 ? S_OK : E_FAIL;
    }
    std::string file(const char* name) { return (folder_.path() / name).string(); }
};

TEST_F(Services, ExportsWriteCsvThatReadsBackWithQuotesSeparatorsAndCyrillic) {
    ASSERT_EQ(server().AddCheckPoint(BStr("Склад \"Север\", ворота 2").get(), BStr("Химки;\nпроезд 3").get(),
                                     BStr("77").get(), 55.9, 37.4, 50),
              S_OK);
    ASSERT_EQ(
        server().ExportListToFile(BStr(file("points.csv")).get(), BStr("checkpoints").get(), BStr("").get(), 0, 0),
        S_OK);
    auto rows = parseCsv(readWholeFile(file("points.csv")));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "Name");
    EXPECT_EQ(rows[1][0], "Склад \"Север\", ворота 2");
    EXPECT_EQ(rows[1][1], "Химки;\nпроезд 3");
    EXPECT_EQ(rows[1][3], "55.9");

    // Vehicles of one group, semicolon-separated; the whole fleet with commas.
    ASSERT_EQ(server().ExportCarsToFile(BStr(file("taxi.csv")).get(), BStr("TAXI.grp").get(), 1, BStr("").get(),
                                        BStr("").get(), 0, 0, 0),
              S_OK);
    rows = parseCsv(readWholeFile(file("taxi.csv")), ';');
    ASSERT_GT(rows.size(), 1u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), rows[0].size());
        EXPECT_EQ(rows[i][0], "taxi.grp");
    }
    ASSERT_EQ(server().ExportCarsToFile(BStr(file("all.csv")).get(), BStr("").get(), 0, BStr("").get(), BStr("").get(),
                                        0, 0, 0),
              S_OK);
    EXPECT_EQ(parseCsv(readWholeFile(file("all.csv"))).size(), 13u);

    // Trips, a trip's parks and its raw records after a computation.
    ASSERT_EQ(computeJuly(), S_OK);
    const LONG trips = readLong(&O::get_TripsNum);
    ASSERT_EQ(server().ExportListToFile(BStr(file("trips.csv")).get(), BStr("trips").get(), BStr("").get(), 0, 0),
              S_OK);
    EXPECT_EQ(parseCsv(readWholeFile(file("trips.csv"))).size(), static_cast<std::size_t>(trips + 1));
    ASSERT_EQ(server().ExportListToFile(BStr(file("parks.csv")).get(), BStr("Parks").get(), BStr("").get(), 0, 0),
              S_OK);
    ASSERT_EQ(server().ExportDataToFile(BStr(file("data.csv")).get(), 1, 0), S_OK);
    rows = parseCsv(readWholeFile(file("data.csv")));
    ASSERT_GT(rows.size(), 10u);
    EXPECT_EQ(rows[1][0], "21305");
}

TEST_F(Services, BadExportArgumentsWriteNothingAndSayWhy) {
    const std::string existing = file("kept.csv");
    writeFileAtomically(existing, "old");
    struct Case {
        std::string name;
        const char* list;
        LONG separator;
        HRESULT result;
    };
    const Case cases[] = {
        {"relative.csv", "checkpoints", 0, HRESULT_FROM_WIN32(123)},
        {file("list.txt"), "checkpoints", 0, E_INVALIDARG},
        {file("list.csv"), "checkpoints", 2, E_INVALIDARG},
        {file("list.csv"), "nonsense", 0, E_INVALIDARG},
        {file("list.csv"), "parks", 0, E_UNEXPECTED}, // no computation yet
        {file("missing/list.csv"), "checkpoints", 0, HRESULT_FROM_WIN32(3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(server().ExportListToFile(BStr(c.name).get(), BStr(c.list).get(), BStr("").get(), c.separator, 0),
                  c.result)
            << c.name << " " << c.list;
    EXPECT_FALSE(std::filesystem::exists(file("list.csv")));
    EXPECT_EQ(server().ExportDataToFile(BStr(existing).get(), 0, 0), E_UNEXPECTED);
    EXPECT_EQ(server().ExportDataToFile(BStr(existing).get(), -1, 0), E_INVALIDARG);
    EXPECT_EQ(server().ExportCarsToFile(BStr(existing).get(), BStr("none.grp").get(), 0, BStr("").get(), BStr("").get(),
                                        0, 0, 0),
              E_INVALIDARG);
    EXPECT_EQ(readWholeFile(existing), "old");
    // A folder that cannot be written keeps the file it has.
    if (::geteuid() != 0) {
        ::chmod(folder_.path().c_str(), 0555);
        EXPECT_EQ(
            server().ExportCarsToFile(BStr(existing).get(), BStr("").get(), 0, BStr("").get(), BStr("").get(), 0, 0, 0),
            E_ACCESSDENIED);
        ::chmod(folder_.path().c_str(), 0755);
        EXPECT_EQ(readWholeFile(existing), "old");
    }
}

TEST_F(Services, ExtendedPropertiesSurviveARestartAndAHandEdit) {
    ASSERT_EQ(server().CmnExPropertySet(BStr("Диспетчер").get()), S_OK);
    ASSERT_EQ(server().set_CmnExPropertyValue(BStr("Смена 2\tночь").get()), S_OK);
    ASSERT_EQ(server().CarExPropertySet(BStr("Страховка").get(), 21305), S_OK);
    ASSERT_EQ(server().set_CarExPropertyValue(BStr("до 01.03.2010").get()), S_OK);
    ASSERT_EQ(server().CarExPropertySet(BStr("Страховка").get(), 25001), S_OK);
    EXPECT_EQ(readText(&O::get_CarExPropertyValue), ""); // each vehicle has its own
    // PropertyName/Value reach the same server-wide values.
    ASSERT_EQ(server().set_PropertyName(BStr("Диспетчер").get()), S_OK);
    EXPECT_EQ(readLong(&O::get_PropertyCheck), 1);
    EXPECT_EQ(readText(&O::get_PropertyValue), "Смена 2\tночь");

    // A restart reads them back.
    object_->shutdown();
    object_ = NavilonixObject::create(NavilonixObject::Options{paths(), &host_, std::chrono::milliseconds(0), false});
    ASSERT_EQ(server().CmnExPropertySet(BStr("Диспетчер").get()), S_OK);
    EXPECT_EQ(readText(&O::get_CmnExPropertyValue), "Смена 2\tночь");
    ASSERT_EQ(server().CarExPropertySet(BStr("Страховка").get(), 21305), S_OK);
    EXPECT_EQ(readText(&O::get_CarExPropertyValue), "до 01.03.2010");

    // A person edits the file while the server runs.
    const auto file = paths().properties();
    std::string text = readWholeFile(file);
    const auto at = text.find("до 01.03.2010");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::string("до 01.03.2010").size(), "до 01.03.2011");
    text += "[Vehicle 25001]\nСтраховка=нет\nэто не строка свойства\n";
    writeFileAtomically(file, text);
    EXPECT_EQ(readText(&O::get_CarExPropertyValue), "до 01.03.2011");
    ASSERT_EQ(server().CarExPropertySet(BStr("Страховка").get(), 25001), S_OK);
    EXPECT_EQ(readText(&O::get_CarExPropertyValue), "нет");

    // Bad names and vehicles are refused; nothing chosen, nothing written.
    EXPECT_EQ(server().CmnExPropertySet(BStr("a=b").get()), E_INVALIDARG);
    EXPECT_EQ(server().CmnExPropertySet(BStr("").get()), E_INVALIDARG);
    EXPECT_EQ(server().CarExPropertySet(BStr("Страховка").get(), 99), E_INVALIDARG);
    EXPECT_EQ(server().set_PropertyName(BStr("\n").get()), E_INVALIDARG);
}

TEST_F(Services, AddressesAreFoundByNameAndNearestWithinTheRadius) {
    // The demo gazetteer holds the taxi depot: "Москва, ул. Беговая, 32" at 55.7763, 37.5510.
    ASSERT_EQ(server().ShowAddress(BStr("беговая").get(), BStr("32").get(), BStr("").get()), S_OK);
    ASSERT_EQ(host_.addresses.size(), 1u);
    EXPECT_EQ(host_.addresses[0], "Москва, ул. Беговая, 32");
    EXPECT_EQ(server().ShowAddress(BStr("Тверская").get(), BStr("99").get(), BStr("").get()), HRESULT_FROM_WIN32(1168));
    EXPECT_EQ(server().ShowAddress(BStr("").get(), BStr(" ").get(), BStr("").get()), E_INVALIDARG);

    ASSERT_EQ(server().FindNearestAddress(55.7763, 37.5510, 0), S_OK); // at the point itself
    EXPECT_EQ(host_.addresses.back(), "Москва, ул. Беговая, 32");
    EXPECT_EQ(server().FindNearestAddress(55.7800, 37.5510, 100), HRESULT_FROM_WIN32(1168)); // 400 m away
    EXPECT_EQ(server().FindNearestAddress(55.7800, 37.5510, 500), S_OK);
    EXPECT_EQ(server().FindNearestAddress(91, 37.5, 100), E_INVALIDARG);
    EXPECT_EQ(server().FindNearestAddress(55.7, 37.5, -1), E_INVALIDARG);
}

TEST_F(Services, ArraysDescribeTheCurrentTripsTrackAndItsCounters) {
    Variant none;
    ASSERT_EQ(server().get_TrackCrdsArray(none.get()), S_OK);
    ASSERT_EQ(none.get()->vt, VT_ARRAY | VT_R8);
    EXPECT_EQ(SafeArrayElementCount(none.get()->parray), 0u);

    ASSERT_EQ(computeJuly(), S_OK);
    server().set_TripIndex(2);
    Variant track;
    ASSERT_EQ(server().get_TrackCrdsArray(track.get()), S_OK);
    ASSERT_EQ(track.get()->vt, VT_ARRAY | VT_R8);
    SAFEARRAY* psa = track.get()->parray;
    ASSERT_EQ(SafeArrayGetDim(psa), 2u);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    EXPECT_EQ(upper, readLong(&O::get_TripCrdEntriesNum));
    // Row 3 is the third track point.
    ASSERT_EQ(server().set_CrdEntryIndex(3), S_OK);
    const LONG lat[] = {3, 1};
    const LONG lon[] = {3, 2};
    double value = 0;
    ASSERT_EQ(SafeArrayGetElement(psa, lat, &value), S_OK);
    EXPECT_DOUBLE_EQ(value, readDouble(&O::get_CrdEntryLatitude));
    ASSERT_EQ(SafeArrayGetElement(psa, lon, &value), S_OK);
    EXPECT_DOUBLE_EQ(value, readDouble(&O::get_CrdEntryLongitude));

    for (auto get :
         {&O::get_Counters12Array, &O::get_Counters34Array, &O::get_Counters56Array, &O::get_Counters78Array}) {
        Variant counters;
        ASSERT_EQ((server().*get)(counters.get()), S_OK);
        ASSERT_EQ(counters.get()->vt, VT_ARRAY | VT_VARIANT);
        EXPECT_EQ(SafeArrayGetDim(counters.get()->parray), 2u);
        EXPECT_EQ(SafeArrayElementCount(counters.get()->parray), 0u); // the demo devices have no counters
    }
}

} // namespace
