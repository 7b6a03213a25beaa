// The "Интерфейс" sheet against the fake: typed reads, writes and calls with the exact call the fake receives,
// failures shown in place, values refused before sending, the call log of a tree rebuild, the log saved as CSV
// and the event list.
#include "forms/InterfaceSheet.h"
#include "automation/CallLog.h"
#include "forms/ArrayTableModel.h"
#include "forms/CallLogModel.h"
#include "forms/Controls.h"
#include "tests/forms/TreeFleet.h"
#include "tests/forms/WindowFixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <fstream>
#include <sstream>

namespace {

// Reads CSV as RFC 4180 defines it: fields separated by commas, records by CRLF, a quoted field may hold commas,
// line breaks and doubled quotes. Fails the test on anything else.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    std::size_t i = 0;
    bool fieldStarted = false;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && !fieldStarted) {
            ++i;
            while (true) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unterminated quoted field";
                    return records;
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            fieldStarted = true;
            if (i < text.size() && text[i] != ',' && text[i] != '\r') {
                ADD_FAILURE() << "text after a closing quote at " << i;
                return records;
            }
        } else if (c == ',') {
            record.push_back(std::exchange(field, {}));
            fieldStarted = false;
            ++i;
        } else if (c == '\r') {
            if (i + 1 >= text.size() || text[i + 1] != '\n') {
                ADD_FAILURE() << "a bare CR at " << i;
                return records;
            }
            record.push_back(std::exchange(field, {}));
            records.push_back(std::exchange(record, {}));
            fieldStarted = false;
            i += 2;
        } else {
            if (c == '"' || c == '\n') {
                ADD_FAILURE() << "a quote or line break in an unquoted field at " << i;
                return records;
            }
            field += c;
            fieldStarted = true;
            ++i;
        }
    }
    if (fieldStarted || !record.empty()) {
        record.push_back(field);
        records.push_back(record);
    }
    return records;
}

// The log's records since `first` as the fake writes calls: "get_X", "set_X(3)", "Method(\"a\", 5)".
std::vector<std::string> LoggedCalls(std::uint64_t first = CallLog().FirstSequence()) {
    std::vector<std::string> calls;
    const TCallLog& log = CallLog();
    for (std::uint64_t s = std::max(first, log.FirstSequence()); s < log.NextSequence(); ++s) {
        const TCallRecord& record = log.At(static_cast<std::size_t>(s - log.FirstSequence()));
        const TMemberInfo* member = FindNavilonixMember(record.slot);
        std::string call(member->name);
        if (member->kind != TMemberKind::Read) {
            const std::vector<TLoggedValue> values = TCallLog::Unpack(record.Values());
            call += "(";
            for (std::size_t i = 0; i < values.size(); ++i)
                call += (i ? ", " : "") + LoggedValueText(values[i]);
            call += ")";
        }
        calls.push_back(call);
    }
    return calls;
}

class InterfaceSheetTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        CallLog().SetRecording(true);
        CallLog().Clear();
        Sheet = Form->InterfaceSheet;
    }
    void TearDown() override {
        CallLog().SetRecording(true);
        WindowFixture::TearDown();
    }

    // Selects the member by its wrapper name, fills its argument edits and presses its button; returns the text
    // shown for the result.
    std::string Run(std::string_view name, const std::vector<QString>& arguments = {}) {
        const TMemberInfo* member = FindNavilonixMember(name);
        EXPECT_NE(member, nullptr) << name;
        if (!member)
            return {};
        EXPECT_TRUE(Sheet->SelectMember(member->slot));
        EXPECT_EQ(Sheet->ArgumentEdits.size(), arguments.size()) << name;
        for (std::size_t i = 0; i < arguments.size() && i < Sheet->ArgumentEdits.size(); ++i)
            Sheet->ArgumentEdits[i]->setText(arguments[i]);
        EXPECT_TRUE(Sheet->MemberCallButton->isEnabled()) << name;
        Sheet->MemberCallButton->click();
        return Sheet->MemberResultText->text().toStdString();
    }

    TInterfaceSheet* Sheet = nullptr;
};

TEST_F(InterfaceSheetTest, IsTheFourthSheetAfterTheTripsAndListsEveryMemberInSlotOrder) {
    ASSERT_EQ(Form->PageControl->count(), 4);
    EXPECT_EQ(Form->PageControl->tabText(2), "Список рейсов");
    EXPECT_EQ(Form->PageControl->tabText(3), "Интерфейс");
    EXPECT_EQ(Form->PageControl->currentWidget(), Form->ControlSheet);
    ASSERT_EQ(Sheet->MembersListView->topLevelItemCount(), 284);
    for (int i = 0; i < 284; ++i)
        EXPECT_EQ(Sheet->MembersListView->topLevelItem(i)->data(0, Qt::UserRole).toInt(), i + 7);

    // The filter keeps the members whose name holds the text, in any case.
    Sheet->MemberFilterEdit->setText("tripsnum");
    std::vector<QString> shown;
    for (int i = 0; i < Sheet->MembersListView->topLevelItemCount(); ++i)
        if (!Sheet->MembersListView->topLevelItem(i)->isHidden())
            shown.push_back(Sheet->MembersListView->topLevelItem(i)->text(1));
    EXPECT_EQ(shown, std::vector<QString>({"TripsNum"}));
    Sheet->MemberFilterEdit->setText("Trip");
    int trips = 0;
    for (int i = 0; i < Sheet->MembersListView->topLevelItemCount(); ++i)
        if (!Sheet->MembersListView->topLevelItem(i)->isHidden()) {
            ++trips;
            EXPECT_TRUE(Sheet->MembersListView->topLevelItem(i)->text(1).contains("trip", Qt::CaseInsensitive));
        }
    EXPECT_GT(trips, 40);
}

TEST_F(InterfaceSheetTest, ReadsWritesAndCallsOfEachTypeSendExactlyTheTypedValues) {
    Connect();
    Fake->Set("TripsNum", LONG{-42});
    Fake->Set("CurrentLatitude", 55.755800000000001);
    Fake->Set("CurrentLongitude", -37.6173);
    Fake->Set("CurrentVersion", std::string("2.0, «бета»"));
    Fake->Set("TrackCrdsArray", 1.5);
    Fake->ClearCalls();
    CallLog().Clear();

    EXPECT_EQ(Run("get_TripsNum"), "-42");
    EXPECT_EQ(Run("get_CurrentLatitude"), "55.7558  (55° 45,348’ сш)");
    EXPECT_EQ(Run("get_CurrentLongitude"), "-37.6173  (37° 37,038’ зд)");
    EXPECT_EQ(Run("get_CurrentVersion"), "\"2.0, «бета»\" (длина 11)");
    EXPECT_EQ(Run("get_TrackCrdsArray"), "тип VT_R8, значение 1.5");
    EXPECT_EQ(Run("set_TripIndex", {"  3 "}), "Записано, S_OK");
    EXPECT_EQ(Run("set_CheckPointLatitude", {"-12,25"}), "Записано, S_OK");
    EXPECT_EQ(Run("set_PropertyName", {"a, \"b\""}), "Записано, S_OK");
    EXPECT_EQ(Run("AddCheckPoint", {"Склад", "ул. Ленина, 1", "", "55.5", "37,25", "-150"}), "Выполнено, S_OK");
    EXPECT_EQ(Run("WaitForComputing", {"g.grp", "1234567", "01.05.2009 00:00:00", "02.05.2009 00:00:00", "GSM", "1"}),
              "Выполнено, S_OK");
    EXPECT_EQ(Run("ShowApplication"), "Выполнено, S_OK");
    EXPECT_EQ(Fake->Calls(), std::vector<std::string>({
                                 "get_TripsNum",
                                 "get_CurrentLatitude",
                                 "get_CurrentLongitude",
                                 "get_CurrentVersion",
                                 "get_TrackCrdsArray",
                                 "set_TripIndex(3)",
                                 "set_CheckPointLatitude(-12.25)",
                                 "set_PropertyName(\"a, \"b\"\")",
                                 "AddCheckPoint(\"Склад\", \"ул. Ленина, 1\", \"\", 55.5, 37.25, -150)",
                                 "WaitForComputing(\"g.grp\", 1234567, \"01.05.2009 00:00:00\", \"02.05.2009 "
                                 "00:00:00\", \"GSM\", 1)",
                                 "ShowApplication()",
                             }));
    // Each call shows its round trip and is in the log, in the order sent.
    EXPECT_TRUE(Sheet->MemberTimeLabel->text().endsWith(" мкс")) << Sheet->MemberTimeLabel->text().toStdString();
    EXPECT_EQ(LoggedCalls(), Fake->Calls());
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(InterfaceSheetTest, TheKeyboardGoesFromTheFilterToAMemberAndItsCall) {
    Connect();
    Fake->Set("GroupsNum", LONG{7});
    Fake->ClearCalls();
    const auto press = [](QWidget* target, int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    };
    const auto selected = [this] { return std::string(Sheet->SelectedMember() ? Sheet->SelectedMember()->name : ""); };
    // Typing selects the first match, and Enter reads a member that takes nothing.
    Sheet->MemberFilterEdit->setText("groupsnum");
    EXPECT_EQ(selected(), "get_GroupsNum");
    press(Sheet->MemberFilterEdit, Qt::Key_Return);
    EXPECT_EQ(Fake->Calls(), std::vector<std::string>{"get_GroupsNum"});
    EXPECT_EQ(Sheet->MemberResultText->text().toStdString(), "7");
    // The arrows move through the matches from the filter; Enter on a member with arguments goes to the first one
    // and sends nothing, and Enter there sends the call.
    Sheet->MemberFilterEdit->setText("CarIndex");
    EXPECT_EQ(selected(), "get_CarIndex");
    press(Sheet->MemberFilterEdit, Qt::Key_Down);
    EXPECT_EQ(selected(), "set_CarIndex");
    press(Sheet->MemberFilterEdit, Qt::Key_Return);
    ASSERT_EQ(Sheet->ArgumentEdits.size(), 1u);
    EXPECT_EQ(Form->focusWidget(), Sheet->ArgumentEdits[0]);
    EXPECT_EQ(Fake->Calls().size(), 1u);
    Sheet->ArgumentEdits[0]->setText("2");
    press(Sheet->ArgumentEdits[0], Qt::Key_Return);
    EXPECT_EQ(Fake->Calls().back(), "set_CarIndex(2)");
}

TEST_F(InterfaceSheetTest, ALongValueWithoutSpacesWrapsInPlaceAndLeavesTheWindowItsSize) {
    Connect();
    const std::string value(3000, '7');
    Fake->Set("TrackCrdsStr", value);
    Form->PageControl->setCurrentWidget(Sheet);
    Form->show();
    QApplication::processEvents();
    const int least = Sheet->minimumSizeHint().width();
    const QSize size = Form->size();
    EXPECT_EQ(Run("get_TrackCrdsStr"), "\"" + value + "\" (длина 3000)");
    QApplication::processEvents();
    // A label would ask for the whole value's width (about 18,000 pixels here), and the window with it.
    EXPECT_EQ(Sheet->minimumSizeHint().width(), least);
    EXPECT_EQ(Form->size(), size);
    EXPECT_LE(Sheet->MemberResultText->width(), Sheet->width());
    Form->hide();
}

TEST_F(InterfaceSheetTest, AtTheWindowsFirstSizeTheMembersAndTheSelectedMemberKeepTheirWidthAndTheLogTakesTheRest) {
    Connect(); // the log's footer now names the slowest member, a line wider than the log's share of the window
    Form->show();
    QApplication::processEvents();
    const QSize size = Form->size();
    Form->PageControl->setCurrentWidget(Sheet);
    QApplication::processEvents();
    // The list shows a member's name whole, and the panel its title, an argument's edit and the result.
    EXPECT_GE(Sheet->MembersListView->width(), 220);
    EXPECT_GE(Sheet->MemberTitleLabel->width(), 200);
    EXPECT_GE(Sheet->CallLogView->width(), 250);
    EXPECT_EQ(Form->size(), size);
    Form->hide();
}

TEST_F(InterfaceSheetTest, FailuresShowTheirCodeInPlaceWithoutThePrompt) {
    Connect();
    Fake->Fail("get_TripsNum", static_cast<HRESULT>(0x800706BA));
    Fake->Fail("StartComputing", static_cast<HRESULT>(0x80004005));
    Fake->Fail("set_TripIndex", static_cast<HRESULT>(0x80020005));
    Fake->ClearCalls();
    CallLog().Clear();

    EXPECT_EQ(Run("get_TripsNum"), "Ошибка 0x800706BA The RPC server is unavailable.");
    EXPECT_EQ(Run("StartComputing", {"g", "1", "a", "b", "c", "0"}), "Ошибка 0x80004005 Unspecified error");
    EXPECT_EQ(Run("set_TripIndex", {"2"}), "Ошибка 0x80020005 Type mismatch.");
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
    EXPECT_EQ(Fake->Calls().size(), 3u);
    ASSERT_EQ(CallLog().Count(), 3u);
    EXPECT_EQ(CallLog().At(0).result, static_cast<HRESULT>(0x800706BA));
    EXPECT_EQ(CallResultText(CallLog().At(0)), "0x800706BA The RPC server is unavailable.");
    // The window goes on working.
    EXPECT_NE(Automation, nullptr);
    Fake->Fail("get_TripsNum", S_OK);
    Fake->Set("TripsNum", LONG{2});
    EXPECT_EQ(Run("get_TripsNum"), "2");
}

TEST_F(InterfaceSheetTest, AValueNotOfItsTypeSendsNothingAndSaysWhy) {
    Connect();
    Fake->ClearCalls();
    const struct {
        const char* member;
        std::vector<QString> arguments;
        const char* says;
    } cases[] = {
        {"set_TripIndex", {"3.5"}, "«3.5» — не целое число long"},
        {"set_TripIndex", {""}, "«» — не целое число long"},
        {"set_TripIndex", {"2147483648"}, "«2147483648» — не целое число long"},
        {"set_TripIndex", {"0x10"}, "«0x10» — не целое число long"},
        {"set_CheckPointLatitude", {"55,5,1"}, "«55,5,1» — не число double"},
        {"set_CheckPointLatitude", {"nan"}, "«nan» — не число double"},
        {"SetCurrentCoords", {"55.1", "abc"}, "Longitude (double): «abc» — не число double"},
        // The last argument is wrong: nothing of the earlier ones goes either.
        {"GoToCarLastPosition", {"a.car", "7 "}, nullptr},
        {"GoToCarLastPosition", {"a.car", "семь"}, "Device (long): «семь» — не целое число long"},
        {"ExportListToFile", {"f", "g", "h", "1", "x"}, "5. long: «x» — не целое число long"},
    };
    for (const auto& c : cases) {
        Fake->ClearCalls();
        const std::string result = Run(c.member, c.arguments);
        if (!c.says) {
            EXPECT_EQ(Fake->Calls().size(), 1u) << c.member;
            continue;
        }
        EXPECT_NE(result.find(c.says), std::string::npos) << c.member << ": " << result;
        EXPECT_NE(result.find("Ничего не отправлено"), std::string::npos) << result;
        EXPECT_TRUE(Fake->Calls().empty()) << c.member;
    }
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(InterfaceSheetTest, TheLogRecordsATreeRebuildCallByCallWithArgumentsAndResults) {
    Fake->SetFleet(DemoFleet());
    Connect();
    Fake->ClearCalls();
    CallLog().Clear();
    Fake->RaiseEvent(DISPID_OnChangeCarsLists);
    QCoreApplication::processEvents();

    ASSERT_GT(Fake->Calls().size(), 10u);
    // The same calls in the same order with the same arguments: the log adds and drops none.
    EXPECT_EQ(LoggedCalls(), Fake->Calls());
    // Each read's value is the fake's: the group count and the names.
    const TCallLog& log = CallLog();
    LONG groupIndex = 0;
    for (std::size_t i = 0; i < log.Count(); ++i) {
        const TCallRecord& record = log.At(i);
        const TMemberInfo* member = FindNavilonixMember(record.slot);
        EXPECT_EQ(record.result, S_OK);
        const std::vector<TLoggedValue> values = TCallLog::Unpack(record.Values());
        ASSERT_EQ(values.size(), static_cast<std::size_t>(member->kind == TMemberKind::Method ? member->paramCount : 1))
            << member->name;
        if (member->name == "get_GroupsNum") {
            EXPECT_EQ(values[0].integer, static_cast<LONG>(DemoFleet().size()));
        } else if (member->name == "set_GroupIndex") {
            groupIndex = static_cast<LONG>(values[0].integer);
        } else if (member->name == "get_GroupName") {
            EXPECT_EQ(Utf16ToUtf8(values[0].text),
                      std::get<std::string>(DemoFleet()[static_cast<std::size_t>(groupIndex - 1)].fields["GroupName"]));
        }
    }
    // The view and its footer hold the same calls.
    Sheet->CallLogRefresh();
    EXPECT_EQ(Sheet->CallLogModel->rowCount(), static_cast<int>(log.Count()));
    EXPECT_TRUE(Sheet->CallLogFooterLabel->text().startsWith(QStringLiteral("Вызовов: %1,").arg(log.Count())))
        << Sheet->CallLogFooterLabel->text().toStdString();

    // Paused, the log takes nothing and the server still gets every call.
    Sheet->PauseLogButton->click();
    const std::size_t held = log.Count();
    const std::size_t sent = Fake->Calls().size();
    Fake->RaiseEvent(DISPID_OnChangeCarsLists);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Count(), held);
    EXPECT_EQ(Fake->Calls().size(), 2 * sent);
    Sheet->PauseLogButton->click();
    Sheet->ClearLogButton->click();
    EXPECT_EQ(Sheet->CallLogModel->rowCount(), 0);
}

TEST_F(InterfaceSheetTest, TheLogKeepsTheLatestCallsAndTheViewFollowsIt) {
    Connect();
    CallLog().Clear();
    Sheet->CallLogRefresh();
    const std::size_t extra = 5;
    for (std::size_t i = 0; i < TCallLog::kCapacity + extra; ++i)
        Automation->set_TripIndex(static_cast<LONG>(i));
    Sheet->CallLogRefresh();
    ASSERT_EQ(CallLog().Count(), TCallLog::kCapacity);
    EXPECT_EQ(Sheet->CallLogModel->rowCount(), static_cast<int>(TCallLog::kCapacity));
    // The oldest calls went; the first row is the sixth call.
    EXPECT_EQ(Sheet->CallLogModel->index(0, TCallLogModel::ArgumentsColumn).data().toString(), "Value=5");
    EXPECT_EQ(Sheet->CallLogModel->index(static_cast<int>(TCallLog::kCapacity) - 1, TCallLogModel::ArgumentsColumn)
                  .data()
                  .toString(),
              QStringLiteral("Value=%1").arg(TCallLog::kCapacity + extra - 1));
}

TEST_F(InterfaceSheetTest, TheSavedLogReadsBackAsCsv) {
    Connect();
    Fake->Fail("get_TripsNum", static_cast<HRESULT>(0x800706BA));
    CallLog().Clear();
    const std::string tricky = "a,\"b\"\r\nc\nd";
    Automation->set_PropertyName(BStr(tricky).get());
    Automation->GoToCarLastPosition(BStr("Группа, 1").get(), 5);
    Run("get_TripsNum");
    Fake->Set("CurrentVersion", tricky);
    Run("get_CurrentVersion");

    QTemporaryDir dir;
    const QString path = dir.filePath("log.csv");
    UiSeam::SetNextFile(path);
    Sheet->SaveLogButton->click();
    std::ifstream file(path.toStdString(), std::ios::binary);
    ASSERT_TRUE(file);
    std::stringstream text;
    text << file.rdbuf();
    const auto records = ParseCsv(text.str());
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0], std::vector<std::string>(
                              {"Время", "Слот", "Член", "Аргументы", "Результат", "Код", "Длительность (мкс)"}));
    for (const auto& record : records)
        EXPECT_EQ(record.size(), 7u);
    EXPECT_EQ(records[1][2], "set_PropertyName");
    EXPECT_EQ(records[1][3], "Value=\"" + tricky + "\"");
    EXPECT_EQ(records[1][5], "0x00000000");
    EXPECT_EQ(records[2][2], "GoToCarLastPosition");
    EXPECT_EQ(records[2][3], "GroupFile=\"Группа, 1\", Device=5");
    EXPECT_EQ(records[3][1], "68");
    EXPECT_EQ(records[3][4], "0x800706BA The RPC server is unavailable.");
    EXPECT_EQ(records[3][5], "0x800706BA");
    EXPECT_EQ(records[3][3], "");
    EXPECT_EQ(records[4][3], "");
    EXPECT_EQ(records[4][4], "\"" + tricky + "\"");
    EXPECT_TRUE(UiSeam::ShownBoxes().size() == 1 && UiSeam::LastShown().kind == UiSeam::TKind::FileDialog);

    // A file that cannot be written is reported, not passed over.
    UiSeam::SetNextFile(dir.filePath("missing/folder/log.csv"));
    Sheet->SaveLogButton->click();
    EXPECT_EQ(UiSeam::LastShown().kind, UiSeam::TKind::MessageBox);
    EXPECT_TRUE(UiSeam::LastShown().text.contains("Не удалось записать файл"));
}

TEST_F(InterfaceSheetTest, EventsAreListedWhileTheWindowsHandlersRunAsBefore) {
    Fake->SetFleet(DemoFleet());
    Connect();
    Fake->ClearCalls();
    Fake->RaiseEvent(DISPID_OnChangeCarsLists);
    Fake->RaiseEvent(207);
    QCoreApplication::processEvents();
    ASSERT_EQ(Sheet->EventsListView->topLevelItemCount(), 2);
    EXPECT_EQ(Sheet->EventsListView->topLevelItem(0)->text(1), "201");
    EXPECT_EQ(Sheet->EventsListView->topLevelItem(0)->text(2), "OnChangeCarsLists");
    EXPECT_EQ(Sheet->EventsListView->topLevelItem(1)->text(1), "207");
    // The tree was rebuilt by the window's own handler.
    EXPECT_FALSE(Fake->CallsOf("get_GroupsNum").empty());
    Sheet->ClearEventsButton->click();
    EXPECT_EQ(Sheet->EventsListView->topLevelItemCount(), 0);

    // The server's close event disconnects as everywhere else; the sheet's commands follow.
    ASSERT_TRUE(Sheet->SelectMember(FindNavilonixMember("get_TripsNum")->slot));
    EXPECT_TRUE(Sheet->MemberCallButton->isEnabled());
    Fake->RaiseEvent(DISPID_OnCloseServer);
    QCoreApplication::processEvents();
    EXPECT_EQ(Automation, nullptr);
    EXPECT_FALSE(Sheet->MemberCallButton->isEnabled());
    EXPECT_EQ(Sheet->EventsListView->topLevelItem(0)->text(2), "OnCloseServer");
    Fake->ClearCalls();
    Sheet->MemberCallButtonClick();
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST(ArrayTable, VectorsAreIndexAndValueTwoDimensionsRowsAndColumnsMoreOneRowPerElement) {
    const auto cell = [](const TArrayTableModel& model, int row, int column) {
        return model.index(row, column).data().toString().toStdString();
    };
    const auto header = [](const TArrayTableModel& model, int section, Qt::Orientation orientation) {
        return model.headerData(section, orientation).toString().toStdString();
    };
    TArrayTableModel model;

    // A vector of doubles from index 5: one row per element, its index as the row's header.
    SAFEARRAY* vector = SafeArrayCreateVector(VT_R8, 5, 3);
    for (LONG i = 5; i < 8; ++i) {
        double value = 0.25 * i;
        ASSERT_EQ(SafeArrayPutElement(vector, &i, &value), S_OK);
    }
    ASSERT_TRUE(model.Show(vector));
    SafeArrayDestroy(vector); // the model keeps its own copy
    EXPECT_EQ(model.Shape(), "3, VT_R8");
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 1);
    EXPECT_EQ(header(model, 0, Qt::Vertical), "5");
    EXPECT_EQ(cell(model, 0, 0), "1.25");
    EXPECT_EQ(header(model, 2, Qt::Vertical), "7");
    EXPECT_EQ(cell(model, 2, 0), "1.75");

    // Two dimensions of variants, from 1 and from -1: the first index down the rows, the second across the columns.
    const SAFEARRAYBOUND bounds[] = {{2, 1}, {3, -1}};
    SAFEARRAY* table = SafeArrayCreate(VT_VARIANT, 2, bounds);
    const BStr store("Склад «Север»");
    for (LONG i = 1; i <= 2; ++i)
        for (LONG j = -1; j <= 1; ++j) {
            const LONG indices[] = {i, j};
            VARIANT value;
            VariantInit(&value);
            value.vt = VT_I4;
            value.lVal = 10 * i + j;
            if (i == 2 && j == 1) {
                value.vt = VT_BSTR;
                value.bstrVal = store.get();
            }
            ASSERT_EQ(SafeArrayPutElement(table, indices, &value), S_OK);
        }
    ASSERT_TRUE(model.Show(table));
    SafeArrayDestroy(table);
    EXPECT_EQ(model.Shape(), "2 × 3, VT_VARIANT");
    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(header(model, 0, Qt::Vertical), "1");
    EXPECT_EQ(header(model, 0, Qt::Horizontal), "-1");
    EXPECT_EQ(cell(model, 0, 0), "VT_I4 9");
    EXPECT_EQ(cell(model, 0, 2), "VT_I4 11");
    EXPECT_EQ(cell(model, 1, 1), "VT_I4 20");
    EXPECT_EQ(cell(model, 1, 2), "VT_BSTR \"Склад «Север»\"");

    // Three dimensions: one row per element, the first index varying fastest, headed by all its indices.
    const SAFEARRAYBOUND cube[] = {{2, 0}, {2, 0}, {2, 0}};
    SAFEARRAY* strings = SafeArrayCreate(VT_BSTR, 3, cube);
    const LONG last[] = {1, 0, 1};
    const BStr text("x,y");
    ASSERT_EQ(SafeArrayPutElement(strings, last, text.get()), S_OK);
    ASSERT_TRUE(model.Show(strings));
    SafeArrayDestroy(strings);
    ASSERT_EQ(model.rowCount(), 8);
    EXPECT_EQ(header(model, 5, Qt::Vertical), "(1, 0, 1)");
    EXPECT_EQ(cell(model, 5, 0), "\"x,y\"");
    EXPECT_EQ(cell(model, 4, 0), "\"\"");

    model.Show(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.Shape().isEmpty());
}

} // namespace
