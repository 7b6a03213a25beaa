#include "server/ObjectSupport.h"
#include "tests/server/ObjectFixture.h"

#include <sstream>

using namespace navilonix::server;
using navilonix::server::testing::ObjectTest;
using O = NavilonixObject;

namespace {

std::vector<std::vector<std::string>> rows(const std::string& table) {
    std::vector<std::vector<std::string>> out;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::istringstream parts(line);
        for (std::string cell; std::getline(parts, cell, '\t');)
            cells.push_back(cell);
        out.push_back(cells);
    }
    return out;
}

} // namespace

TEST_F(ObjectTest, FieldWorkRunsInTheBackgroundWithProgressAndEndsWithItsEventAndTheFieldsTable) {
    // The sweeper's brush (implement 1, 2.5 m) works while sensor 3 is on, over two days of its rounds.
    ASSERT_EQ(server().StartFieldsComputingEx(40001, BStr("service.grp").get(), BStr("03.08.2009 00:00:00").get(),
                                              BStr("05.08.2009 00:00:00").get(), BStr("GSM").get(), BStr("1").get(),
                                              BStr("3").get(), BStr("").get()),
              S_OK);
    EXPECT_EQ(readLong(&O::get_FieldsComputingBusy), 1);
    EXPECT_EQ(readLong(&O::get_ComputingBusy), 0); // the trips are not touched
    EXPECT_EQ(eventCount(DISPID_OnEndFieldsComputing), 0u);
    LONG lastTotal = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (readLong(&O::get_FieldsComputingBusy) == 1 && std::chrono::steady_clock::now() < limit) {
        const LONG field = readLong(&O::get_FieldsComputingPercents);
        const LONG total = readLong(&O::get_FieldsComputingTotalPercents);
        EXPECT_TRUE(field >= 0 && field <= 100 && total <= 100) << field << " " << total;
        EXPECT_GE(total, lastTotal);
        lastTotal = total;
        server().processPendingWork();
    }
    EXPECT_EQ(eventCount(DISPID_OnEndFieldsComputing), 1u);
    EXPECT_EQ(eventCount(DISPID_OnEndComputing), 0u);
    EXPECT_EQ(readLong(&O::get_FieldsComputingCheck), 1);
    EXPECT_EQ(readLong(&O::get_FieldsComputingPercents), 0);

    const auto table = rows(readText(&O::get_FieldsList));
    ASSERT_EQ(table.size(), 4u); // header and the three demo fields
    double worked = 0.0;
    for (std::size_t k = 1; k < table.size(); ++k) {
        ASSERT_EQ(table[k].size(), 5u);
        const double km = std::stod(table[k][3]);
        const double ha = std::stod(table[k][4]);
        // The brush cannot cover more than its width along the way plus its round ends.
        EXPECT_LE(ha * 10000, km * 1000 * 2.5 + 100) << table[k][0];
        worked += ha;
    }
    EXPECT_EQ(table[1][1], "F1");
    EXPECT_EQ(std::stod(table[1][3]), 0.0); // the sweeper never goes to Lyubertsy
    EXPECT_GT(std::stod(table[2][3]), 0.5);
    EXPECT_GT(worked, 0.1);
}

TEST_F(ObjectTest, FieldWorkRefusesBadRequestsWithACheckOfZeroAndKeepsTheFieldsListChoice) {
    const auto service = BStr("service.grp");
    const auto from = BStr("03.08.2009 00:00:00");
    const auto to = BStr("04.08.2009 00:00:00");
    const auto gsm = BStr("GSM");
    // A good computation first, so that the failures below must clear its table.
    ASSERT_EQ(server().WaitForFieldsComputing(service.get(), 40001, from.get(), to.get(), gsm.get(), 0.0, 0), S_OK);
    EXPECT_NE(readText(&O::get_FieldsList), "");

    EXPECT_EQ(server().WaitForFieldsComputing(service.get(), 40001, from.get(), to.get(), gsm.get(), -2.0, 0), E_FAIL);
    EXPECT_EQ(readLong(&O::get_FieldsComputingCheck), 0);
    EXPECT_EQ(readText(&O::get_FieldsList), "");
    EXPECT_EQ(server().WaitForFieldsComputing(service.get(), 40001, from.get(), to.get(), gsm.get(), 2.0, 9), E_FAIL);
    EXPECT_EQ(server().WaitForFieldsComputing(service.get(), 40001, to.get(), from.get(), gsm.get(), 2.0, 0), E_FAIL);
    EXPECT_EQ(server().WaitForFieldsComputingEx(40001, service.get(), from.get(), to.get(), gsm.get(),
                                                BStr("нет такого").get(), BStr("").get(), BStr("").get()),
              E_FAIL);
    EXPECT_EQ(server().WaitForFieldsComputingEx(40001, service.get(), from.get(), to.get(), gsm.get(),
                                                BStr("2,5").get(), BStr("").get(), BStr("Нет списка").get()),
              E_FAIL);
    EXPECT_EQ(eventCount(DISPID_OnEndFieldsComputing), 6u); // every request ends with the event

    // A list without geozones cannot be computed; a missing or unsafe name is refused and the choice kept.
    EXPECT_EQ(server().set_FieldsList(BStr("Базы").get()), S_OK);
    EXPECT_EQ(server().WaitForFieldsComputing(service.get(), 40001, from.get(), to.get(), gsm.get(), 2.0, 0), E_FAIL);
    EXPECT_EQ(server().set_FieldsList(BStr("Нет списка").get()), HRESULT_FROM_WIN32(ErrorFileNotFound));
    EXPECT_EQ(server().set_FieldsList(BStr("../Groups/taxi").get()), HRESULT_FROM_WIN32(ErrorInvalidName));
    EXPECT_EQ(server().WaitForFieldsComputing(service.get(), 40001, from.get(), to.get(), gsm.get(), 2.0, 0), E_FAIL);
    EXPECT_EQ(server().set_FieldsList(BStr("Поля").get()), S_OK);
    EXPECT_EQ(server().WaitForFieldsComputing(service.get(), 40001, from.get(), to.get(), gsm.get(), 2.0, 0), S_OK);
}
