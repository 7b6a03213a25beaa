// A small fake fleet for the tests and pictures of the groups tree: three groups in an order that differs from
// the text order, with vehicles with and without model and number.
#pragma once

#include "tests/support/FakeAutomation.h"

#include <string>
#include <vector>

// A vehicle of a fake fleet; the online values describe a parked vehicle with a position unless changed.
inline FakeRecord Car(LONG device, const std::string& model, const std::string& number) {
    return FakeRecord{{"CarDevice", device},
                      {"CarModel", model},
                      {"CarNumber", number},
                      {"CarRoute", std::string("Маршрут 7")},
                      {"CarDrivers", std::string("Иванов, Петров")},
                      {"CarAlias", std::string("Борт ") + std::to_string(device)},
                      {"CarTelNum", std::string("+7 900 000-00-00")},
                      {"CarCheckPointsFile", std::string("Moscow.chp")},
                      {"CarGeoZonesFile", std::string("Zones.gz")},
                      {"CarLastTime", std::string("01.05.2009 13:05:09")},
                      {"CarLastATime", std::string("01.05.2009 13:04:00")},
                      {"CarLatitude", 55.7558},
                      {"CarLongitude", 37.6173},
                      {"CarCourse", 90.0},
                      {"CarParkTime", std::string("0:04:30")},
                      {"CarSpeed", 0.0},
                      {"CarFlags", LONG{3}}};
}

inline FakeGroup Group(const std::string& name, const std::string& file, std::vector<FakeRecord> cars) {
    return FakeGroup{FakeRecord{{"GroupName", name},
                                {"GroupFileName", file},
                                {"GroupAddress", std::string("ул. Лесная, 5")},
                                {"GroupContacts", std::string("+7 495 123-45-67")}},
                     std::move(cars)};
}

// The server's order on purpose differs from the text order.
inline std::vector<FakeGroup> DemoFleet() {
    return {
        Group("Москва", "moscow.grp", {Car(21999, "КамАЗ", ""), Car(1234, "ГАЗель", "А123ВС"), Car(5, "", "Х555ХХ")}),
        Group("Пустая", "empty.grp", {}), Group("Автобусы", "bus.grp", {Car(30000, "ЛиАЗ", "В777ОР")})};
}
