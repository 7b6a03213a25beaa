#include "server/core/TrackExport.h"
#include "server/core/FileUtil.h"
#include "server/core/TextFields.h"
#include "server/core/TimeText.h"
#include "tests/server/TempFolder.h"

#include <QString>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace navilonix::server;
using navilonix::server::testing::TempFolder;

namespace {

// Three points, then a pause of ten minutes, then two more: two segments.
TrackExport sampleTrack() {
    TrackExport track;
    track.name = "Ford Focus <А123ВС> & co, 1";
    track.startName = "Склад";
    track.endName = "55.1, 37.2";
    const UnixTime t0 = fromUtcCivil(CivilTime{2009, 5, 1, 12, 0, 0});
    const UnixTime times[] = {t0, t0 + 10, t0 + 20, t0 + 620, t0 + 630};
    for (int i = 0; i < 5; ++i) {
        GpsRecord r;
        r.time = times[i];
        r.latitude = 55.0 + i * 0.001;
        r.longitude = 37.0 + i * 0.002;
        r.altitude = i == 4 ? static_cast<float>(NoAltitude) : 100.0f;
        r.status = StatusValidFix;
        track.points.push_back(r);
    }
    track.breakSeconds = 120;
    return track;
}

struct PltPoint {
    double latitude;
    double longitude;
    int code;
    double altitude;
    double date;
};

// Reads a PLT file the way a track reader would: six header lines, the count, then one point a line.
std::vector<PltPoint> parsePlt(const std::string& text, std::vector<std::string>* header) {
    const auto lines = splitLines(text);
    EXPECT_GE(lines.size(), 6u);
    for (std::size_t i = 0; i < 6 && i < lines.size(); ++i)
        header->emplace_back(lines[i]);
    std::vector<PltPoint> points;
    for (std::size_t i = 6; i < lines.size(); ++i) {
        const auto fields = splitFields(lines[i], ',');
        EXPECT_EQ(fields.size(), 7u) << lines[i];
        if (fields.size() != 7)
            continue;
        points.push_back(PltPoint{*parseNumber(fields[0]), *parseNumber(fields[1]),
                                  static_cast<int>(*parseInteger(fields[2])), *parseNumber(fields[3]),
                                  *parseNumber(fields[4])});
    }
    return points;
}

} // namespace

TEST(PltExport, TheFileHasTheVersionHeaderAndEveryPointWithBreaksAtGaps) {
    TempFolder folder;
    const auto file = folder.path() / "track.PLT";
    exportTrack(file, sampleTrack());
    std::vector<std::string> header;
    const auto points = parsePlt(readWholeFile(file), &header);
    EXPECT_EQ(header[0], "OziExplorer Track Point File Version 2.1");
    EXPECT_EQ(header[1], "WGS 84");
    EXPECT_EQ(splitFields(header[4], ',')[3], "Ford Focus <А123ВС> & co  1"); // no commas inside the name
    EXPECT_EQ(header[5], "5");
    ASSERT_EQ(points.size(), 5u);
    const int codes[] = {1, 0, 0, 1, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(points[i].latitude, 55.0 + i * 0.001, 1e-6);
        EXPECT_NEAR(points[i].longitude, 37.0 + i * 0.002, 1e-6);
        EXPECT_EQ(points[i].code, codes[i]) << i;
    }
    EXPECT_NEAR(points[0].altitude, 328.1, 0.05); // 100 m in feet
    EXPECT_EQ(points[4].altitude, -777.0);
    EXPECT_NEAR(points[0].date, 39934.5, 1e-6);
    EXPECT_NEAR(points[3].date - points[0].date, 620.0 / 86400.0, 1e-6);
}

TEST(KmlExport, TheFileIsWellFormedKmlWithPlacemarksAndOneLinePerSegment) {
    TempFolder folder;
    const auto file = folder.path() / "track.kml";
    exportTrack(file, sampleTrack());
    const std::string text = readWholeFile(file);
    QXmlStreamReader xml(QString::fromStdString(text));
    int lineStrings = 0;
    std::vector<std::string> pointCoordinates;
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> names;
    std::vector<std::string> begins;
    QString element;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            element = xml.name().toString();
            if (element == "kml") {
                EXPECT_EQ(xml.namespaceUri().toString(), "http://www.opengis.net/kml/2.2");
            }
            if (element == "LineString")
                ++lineStrings;
            if (element == "coordinates" || element == "name" || element == "begin") {
                const std::string value = xml.readElementText().trimmed().toStdString();
                if (element == "name")
                    names.push_back(value);
                else if (element == "begin")
                    begins.push_back(value);
                else if (value.find('\n') == std::string::npos && lineStrings == 0)
                    pointCoordinates.push_back(value);
                else {
                    std::vector<std::string> coords;
                    for (const auto line : splitLines(value))
                        coords.emplace_back(trim(line));
                    lines.push_back(coords);
                }
            }
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(names.front(), "Ford Focus <А123ВС> & co, 1");
    ASSERT_EQ(pointCoordinates.size(), 2u);
    EXPECT_EQ(pointCoordinates[0], "37,55,100");
    EXPECT_EQ(pointCoordinates[1], "37.008,55.004");
    EXPECT_EQ(lineStrings, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 3u);
    EXPECT_EQ(lines[1].size(), 2u);
    EXPECT_EQ(lines[1][0], "37.006,55.003,100");
    EXPECT_EQ(begins, (std::vector<std::string>{"2009-05-01T12:00:00Z", "2009-05-01T12:10:20Z"}));
}

TEST(TrackExportFailures, ABadTargetLeavesNoFileAndKeepsAnExistingOne) {
    TempFolder folder;
    EXPECT_THROW(exportTrack(folder.path() / "track.gpx", sampleTrack()), FileError);
    EXPECT_THROW(exportTrack(folder.path() / "none" / "track.kml", sampleTrack()), FileError);
    EXPECT_THROW(exportTrack(folder.path() / "empty.kml", TrackExport{}), FileError);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "empty.kml"));

    const auto existing = folder.path() / "old.plt";
    writeFileAtomically(existing, "keep me");
    TrackExport empty;
    EXPECT_THROW(exportTrack(existing, empty), FileError);
    EXPECT_EQ(readWholeFile(existing), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}
