// The add, change and find check point commands of the main window against the fake: the dialogs they show, what
// they send and read in which order, and what cancelling, a lost connection and server failures do.
#include "automation/Navilonix_OCX.h"
#include "forms/Checkpointproperties.h"
#include "forms/Findcheckpoint.h"
#include "forms/Main.h"
#include "forms/MaskEdit.h"
#include "forms/UiSeam.h"
#include "platform/rtl/FormatSettings.h"
#include "tests/forms/WindowFixture.h"
#include "tests/support/FakeAutomation.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

QString U(const char* text) {
    return QString::fromUtf8(text);
}

// The next control that Tab moves to.
QWidget* NextTabStop(QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

class CheckPointDialogsTest : public WindowFixture {
protected:
    void TearDown() override {
        TCheckPointPropertiesForm::SetScript(nullptr);
        TFindCheckPointForm::SetScript(nullptr);
        WindowFixture::TearDown();
    }

    void Connect() {
        WindowFixture::Connect();
        Fake->ClearCalls();
        UiSeam::Reset();
    }

    // A row the list had before the command; a refill removes it.
    void AddStaleRow() { new QTreeWidgetItem(Form->ChPListView, QStringList{U("старая")}); }
    bool HasStaleRow() const {
        return Form->ChPListView->topLevelItemCount() > 0 && Form->ChPListView->topLevelItem(0)->text(0) == U("старая");
    }

    // The properties dialog answers with these texts and OK.
    static void AcceptWith(const char* name, const char* address, const char* id, const char* lat, const char* lng,
                           const char* radius) {
        TCheckPointPropertiesForm::SetScript([=](TCheckPointPropertiesForm& dialog) {
            dialog.NameEdit->setText(U(name));
            dialog.AddressEdit->setText(U(address));
            dialog.IDEdit->setText(U(id));
            dialog.LatMaskEdit->SetText(U(lat));
            dialog.LngMaskEdit->SetText(U(lng));
            dialog.RadiusEdit->setText(U(radius));
            dialog.OKButton->click();
        });
    }

    // The arguments of the last AddCheckPoint, with the doubles at full precision.
    void RecordAddCheckPoint() {
        Fake->OnCall("AddCheckPoint", [this](std::vector<FakeValue>& arguments, FakeValue&) {
            Added = arguments;
            RefillBeforeCall = !HasStaleRow();
            return false;
        });
    }

    std::vector<std::string> ErrorTexts() const {
        std::vector<std::string> texts;
        for (const UiSeam::TShown& shown : UiSeam::ShownBoxes())
            if ((shown.flags & MB_ICONMASK) == MB_ICONERROR)
                texts.push_back(shown.text.toStdString());
        return texts;
    }

    void SetCurrentCheckPoint(const char* name, const char* address, const char* id, double lat, double lng,
                              LONG radius) {
        Fake->Set("CheckPointName", std::string(name));
        Fake->Set("CheckPointAddress", std::string(address));
        Fake->Set("CheckPointID", std::string(id));
        Fake->Set("CheckPointLatitude", lat);
        Fake->Set("CheckPointLongitude", lng);
        Fake->Set("CheckPointRadius", radius);
    }

    std::vector<FakeValue> Added;
    bool RefillBeforeCall = false;
};

} // namespace

// --- Add ------------------------------------------------------------------------------------------------------

TEST_F(CheckPointDialogsTest, AddWithEveryFieldEmptySendsEmptyTextsZeroCoordinatesAndRadiusThirty) {
    Connect();
    AddStaleRow();
    RecordAddCheckPoint();
    QString caption, lat, lng;
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
        caption = dialog.windowTitle();
        lat = dialog.LatMaskEdit->Text();
        lng = dialog.LngMaskEdit->Text();
        EXPECT_TRUE(dialog.NameEdit->text().isEmpty());
        EXPECT_TRUE(dialog.RadiusEdit->text().isEmpty());
        dialog.OKButton->click();
    });
    Form->AddCheckPointButton->click();

    EXPECT_EQ(caption, U("Добавление контрольной точки"));
    EXPECT_EQ(lat, U("   °   ,   ’"));
    EXPECT_EQ(lng, U("   °   ,   ’"));
    ASSERT_FALSE(Fake->Calls().empty());
    EXPECT_EQ(Fake->Calls().front(), "AddCheckPoint(\"\", \"\", \"\", 0, 0, 30)");
    EXPECT_EQ(Fake->CallsOf("AddCheckPoint").size(), 1u);
    EXPECT_FALSE(RefillBeforeCall);
    EXPECT_FALSE(HasStaleRow()) << "the list is refilled after the add";
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointDialogsTest, AddSendsTheTypedTextsAsTheyStandAndTheConvertedValuesInOrder) {
    Connect();
    RecordAddCheckPoint();
    AcceptWith(" Склад №1 ", "ул. Ленина, 5", "", " 10° 75,000’", " 37° 30,500’", "150");
    Form->AddCheckPointButton->click();

    ASSERT_EQ(Added.size(), 6u);
    EXPECT_EQ(std::get<std::string>(Added[0]), " Склад №1 ");
    EXPECT_EQ(std::get<std::string>(Added[1]), "ул. Ленина, 5");
    EXPECT_EQ(std::get<std::string>(Added[2]), "");
    EXPECT_DOUBLE_EQ(std::get<double>(Added[3]), 11.25);
    EXPECT_DOUBLE_EQ(std::get<double>(Added[4]), 37.0 + 30500.0 / 60000.0);
    EXPECT_EQ(std::get<LONG>(Added[5]), 150);
}

TEST_F(CheckPointDialogsTest, AddClampsCoordinatesAndRadius) {
    Connect();
    RecordAddCheckPoint();
    AcceptWith("", "", "", " 95° 00,000’", "200° 00,000’", "40000");
    Form->AddCheckPointButton->click();
    ASSERT_EQ(Added.size(), 6u);
    EXPECT_EQ(std::get<double>(Added[3]), 90.0);
    EXPECT_EQ(std::get<double>(Added[4]), 180.0);
    EXPECT_EQ(std::get<LONG>(Added[5]), 32500);

    for (const auto& [typed, sent] : {std::pair{"0", 2}, {"1", 2}, {"abc", 30}, {"2", 2}}) {
        AcceptWith("", "", "", " 45°   ,   ’", "   ° 75,000’", typed);
        Form->AddCheckPointButton->click();
        ASSERT_EQ(Added.size(), 6u);
        EXPECT_EQ(std::get<LONG>(Added[5]), sent) << typed;
        EXPECT_EQ(std::get<double>(Added[3]), 45.0);
        EXPECT_EQ(std::get<double>(Added[4]), 0.0) << "blank degrees stop the reading at the degree sign";
    }
}

TEST_F(CheckPointDialogsTest, CancelledAddSendsNothingAndKeepsTheList) {
    Connect();
    AddStaleRow();
    TCheckPointPropertiesForm::SetScript([](TCheckPointPropertiesForm& dialog) {
        dialog.NameEdit->setText(U("не нужна"));
        dialog.CancelButton->click();
    });
    Form->AddCheckPointButton->click();
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(HasStaleRow());

    // Closed without a button (the title bar's close) counts as Cancel.
    TCheckPointPropertiesForm::SetScript([](TCheckPointPropertiesForm& dialog) { dialog.close(); });
    Form->AddCheckPointButton->click();
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(HasStaleRow());
}

TEST_F(CheckPointDialogsTest, AddWhileDisconnectedShowsTheDialogButSendsNothing) {
    bool shown = false;
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
        shown = true;
        dialog.NameEdit->setText(U("точка"));
        dialog.OKButton->click();
    });
    Form->AddCheckPointButtonClick();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointDialogsTest, ServerClosingWhileTheAddDialogIsOpenMeansNothingIsSent) {
    Connect();
    TCheckPointPropertiesForm::SetScript([this](TCheckPointPropertiesForm& dialog) {
        Fake->RaiseEvent(DISPID_OnCloseServer);
        dialog.NameEdit->setText(U("точка"));
        dialog.OKButton->click();
    });
    Form->AddCheckPointButton->setEnabled(true);
    Form->AddCheckPointButton->click();
    EXPECT_EQ(Automation, nullptr);
    EXPECT_TRUE(Fake->CallsOf("AddCheckPoint").empty());
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(CheckPointDialogsTest, FailedAddShowsTheErrorAndDoesNotRefillTheList) {
    Connect();
    AddStaleRow();
    Fake->Fail("AddCheckPoint", E_FAIL);
    AcceptWith("a", "b", "c", "", "", "");
    Form->AddCheckPointButton->click();
    EXPECT_TRUE(HasStaleRow());
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"Unspecified error (0x80004005)"});
    EXPECT_TRUE(Fake->CallsOf("get_CheckPointsNum").empty());
}

TEST_F(CheckPointDialogsTest, EnterAndTheOkButtonReadTheSameAlignedCoordinates) {
    Connect();
    RecordAddCheckPoint();
    // Typed with a gap and closed from inside the edit, before the focus ever left it.
    const auto typeThenClose = [](bool byEnter) {
        auto* dialog = qobject_cast<TCheckPointPropertiesForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->LatMaskEdit->setFocus();
        for (const QChar c : U("1 3")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(dialog->LatMaskEdit, &press);
        }
        if (byEnter) {
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(dialog->LatMaskEdit, &enter);
        } else {
            dialog->OKButton->click();
        }
    };
    for (const bool byEnter : {true, false}) {
        Added.clear();
        QTimer::singleShot(0, [&] { typeThenClose(byEnter); });
        Form->AddCheckPointButton->click();
        ASSERT_EQ(Added.size(), 6u) << byEnter;
        EXPECT_EQ(std::get<double>(Added[3]), 13.0) << byEnter;
    }

    // The find dialog's Enter runs the search with the focus in the edit.
    std::vector<FakeValue> coords;
    Fake->OnCall("SetCurrentCoords", [&](std::vector<FakeValue>& arguments, FakeValue&) {
        coords = arguments;
        return false;
    });
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TFindCheckPointForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->LngMaskEdit->setFocus();
        for (const QChar c : U("4 5")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(dialog->LngMaskEdit, &press);
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(dialog->LngMaskEdit, &enter);
        dialog->CancelButton->click();
    });
    Form->FindCheckPointButton->click();
    ASSERT_EQ(coords.size(), 2u);
    EXPECT_EQ(std::get<double>(coords[1]), 45.0);
}

TEST_F(CheckPointDialogsTest, AddDialogLooksAsLaidOut) {
    TCheckPointPropertiesForm dialog(Form.get());
    EXPECT_EQ(dialog.size(), QSize(394, 128));
    EXPECT_EQ(dialog.Panel->geometry(), QRect(0, 0, 394, 88));
    EXPECT_EQ(dialog.NameLabel->text(), U("Название:"));
    EXPECT_EQ(dialog.AddressLabel->text(), U("Адрес:"));
    EXPECT_EQ(dialog.IDLabel->text(), U("ID:"));
    EXPECT_EQ(dialog.LatLabel->text(), U("Широта:"));
    EXPECT_EQ(dialog.LngLabel->text(), U("Долгота:"));
    EXPECT_EQ(dialog.RadiusLabel->text(), U("Радиус:"));
    EXPECT_EQ(dialog.OKButton->text(), U("OK"));
    EXPECT_EQ(dialog.CancelButton->text(), U("Отмена"));
    EXPECT_EQ(dialog.NameEdit->geometry(), QRect(68, 8, 124, 21));
    EXPECT_EQ(dialog.LatMaskEdit->geometry(), QRect(260, 8, 124, 21));
    EXPECT_EQ(dialog.RadiusEdit->geometry(), QRect(260, 56, 124, 21));
    EXPECT_EQ(dialog.OKButton->geometry(), QRect(176, 96, 100, 25));
    EXPECT_EQ(dialog.CancelButton->geometry(), QRect(284, 96, 100, 25));
    EXPECT_TRUE(dialog.OKButton->isDefault());
    const std::vector<QWidget*> order{dialog.NameEdit,    dialog.AddressEdit, dialog.IDEdit,   dialog.LatMaskEdit,
                                      dialog.LngMaskEdit, dialog.RadiusEdit,  dialog.OKButton, dialog.CancelButton};
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        EXPECT_EQ(NextTabStop(order[i]), order[i + 1]) << order[i]->objectName().toStdString();
}

// --- Change ---------------------------------------------------------------------------------------------------

TEST_F(CheckPointDialogsTest, ChangeFillsTheDialogFromTheCurrentCheckPointInOrder) {
    Connect();
    SetCurrentCheckPoint("Склад", "ул. Мира, 1", "A-7", 55.755833, 37.617, -5);
    QString caption, name, address, id, lat, lng, radius;
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
        caption = dialog.windowTitle();
        name = dialog.NameEdit->text();
        address = dialog.AddressEdit->text();
        id = dialog.IDEdit->text();
        lat = dialog.LatMaskEdit->Text();
        lng = dialog.LngMaskEdit->Text();
        radius = dialog.RadiusEdit->text();
        dialog.CancelButton->click();
    });
    Form->ChangeCheckPointButton->setEnabled(true);
    Form->ChangeCheckPointButton->click();

    EXPECT_EQ(caption, U("Редактирование контрольной точки"));
    EXPECT_EQ(name, U("Склад"));
    EXPECT_EQ(address, U("ул. Мира, 1"));
    EXPECT_EQ(id, U("A-7"));
    EXPECT_EQ(lat, U(" 55° 45,350’"));
    EXPECT_EQ(lng, U(" 37° 37,020’"));
    EXPECT_EQ(radius, U("-5"));
    // No index is set first; a cancelled change writes nothing.
    EXPECT_EQ(Fake->Calls(), (Calls{"get_CheckPointName", "get_CheckPointAddress", "get_CheckPointID",
                                    "get_CheckPointRadius", "get_CheckPointLatitude", "get_CheckPointLongitude"}));
}

TEST_F(CheckPointDialogsTest, AcceptedChangeWritesAllSixPropertiesInOrderThenRefills) {
    Connect();
    SetCurrentCheckPoint("Склад", "ул. Мира, 1", "A-7", 55.755833, 37.617, 100);
    AddStaleRow();
    bool refilledBeforeWrites = false;
    Fake->OnCall("set_CheckPointRadius", [&](std::vector<FakeValue>&, FakeValue&) {
        refilledBeforeWrites = !HasStaleRow();
        return false;
    });
    TCheckPointPropertiesForm::SetScript([](TCheckPointPropertiesForm& dialog) { dialog.OKButton->click(); });
    Form->ChangeCheckPointButtonClick();

    const Calls writes = Fake->CallsOf("set_");
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_EQ(writes[0], "set_CheckPointName(\"Склад\")");
    EXPECT_EQ(writes[1], "set_CheckPointAddress(\"ул. Мира, 1\")");
    EXPECT_EQ(writes[2], "set_CheckPointID(\"A-7\")");
    EXPECT_EQ(writes[3].rfind("set_CheckPointLatitude(", 0), 0u);
    EXPECT_EQ(writes[4].rfind("set_CheckPointLongitude(", 0), 0u);
    EXPECT_EQ(writes[5], "set_CheckPointRadius(100)");
    // Both conversions round: the unedited latitude comes back as 55° 45,350’.
    EXPECT_DOUBLE_EQ(std::get<double>(Fake->Get("CheckPointLatitude")), 55.0 + 45350.0 / 60000.0);
    EXPECT_DOUBLE_EQ(std::get<double>(Fake->Get("CheckPointLongitude")), 37.0 + 37020.0 / 60000.0);
    EXPECT_FALSE(refilledBeforeWrites);
    EXPECT_FALSE(HasStaleRow());
}

TEST_F(CheckPointDialogsTest, ChangeSendsTheEditedValuesConvertedAndClamped) {
    Connect();
    SetCurrentCheckPoint("a", "b", "c", 10.0, 20.0, 50);
    AcceptWith("новое", "", "X", " 95° 00,000’", " 45°   ,   ’", "1");
    Form->ChangeCheckPointButtonClick();
    EXPECT_EQ(Fake->String("CheckPointName"), "новое");
    EXPECT_EQ(Fake->String("CheckPointAddress"), "");
    EXPECT_EQ(Fake->String("CheckPointID"), "X");
    EXPECT_EQ(std::get<double>(Fake->Get("CheckPointLatitude")), 90.0);
    EXPECT_EQ(std::get<double>(Fake->Get("CheckPointLongitude")), 45.0);
    EXPECT_EQ(Fake->Long("CheckPointRadius"), 2);
}

TEST_F(CheckPointDialogsTest, SouthernAndWesternCoordinatesShowTheirHemisphereAndKeepTheirSign) {
    Connect();
    // Santiago: south and west. Unedited, both come back with their sign.
    SetCurrentCheckPoint("Сантьяго", "", "", -33.8688, -70.6693, 30);
    QString lat, lng, latNote, lngNote;
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
        lat = dialog.LatMaskEdit->Text();
        lng = dialog.LngMaskEdit->Text();
        latNote = dialog.LatMaskEdit->Note();
        lngNote = dialog.LngMaskEdit->Note();
        dialog.OKButton->click();
    });
    Form->ChangeCheckPointButtonClick();
    EXPECT_EQ(lat, U(" 33° 52,128’"));
    EXPECT_EQ(lng, U(" 70° 40,158’"));
    EXPECT_EQ(latNote, U("ю. ш."));
    EXPECT_EQ(lngNote, U("з. д."));
    EXPECT_DOUBLE_EQ(std::get<double>(Fake->Get("CheckPointLatitude")), -33.8688);
    EXPECT_DOUBLE_EQ(std::get<double>(Fake->Get("CheckPointLongitude")), -70.6693);

    // Edited, each keeps its hemisphere too; the western longitude alone, with a northern latitude.
    for (const double storedLat : {-33.8688, 40.4168}) {
        SetCurrentCheckPoint("Точка", "", "", storedLat, -3.7038, 30);
        TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
            latNote = dialog.LatMaskEdit->Note();
            lngNote = dialog.LngMaskEdit->Note();
            dialog.LatMaskEdit->SetText(U("10° 30,000’"));
            dialog.LngMaskEdit->SetText(U("20° 00,000’"));
            dialog.OKButton->click();
        });
        Form->ChangeCheckPointButtonClick();
        EXPECT_EQ(latNote, storedLat < 0 ? U("ю. ш.") : QString());
        EXPECT_EQ(lngNote, U("з. д."));
        EXPECT_EQ(std::get<double>(Fake->Get("CheckPointLatitude")), storedLat < 0 ? -10.5 : 10.5);
        EXPECT_EQ(std::get<double>(Fake->Get("CheckPointLongitude")), -20.0);
    }

    // A northern, eastern point says nothing of its hemisphere.
    SetCurrentCheckPoint("Москва", "", "", 55.75, 37.62, 30);
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
        latNote = dialog.LatMaskEdit->Note();
        lngNote = dialog.LngMaskEdit->Note();
        dialog.CancelButton->click();
    });
    Form->ChangeCheckPointButtonClick();
    EXPECT_TRUE(latNote.isEmpty());
    EXPECT_TRUE(lngNote.isEmpty());
}

TEST_F(CheckPointDialogsTest, UneditedCoordinatesTheMaskCannotShowAreWrittenBackUnchanged) {
    Connect();
    SetCurrentCheckPoint("Вне маски", "", "", 1234.5, 151.2093, 30);
    QString lat;
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
        lat = dialog.LatMaskEdit->Text();
        dialog.OKButton->click();
    });
    Form->ChangeCheckPointButtonClick();
    EXPECT_EQ(lat, U("   °   ,   ’"));
    EXPECT_EQ(std::get<double>(Fake->Get("CheckPointLatitude")), 1234.5);
    EXPECT_DOUBLE_EQ(std::get<double>(Fake->Get("CheckPointLongitude")), 151.0 + 12558.0 / 60000.0);

    // Once typed into, the coordinate is what was typed.
    SetCurrentCheckPoint("Вне маски", "", "", 1234.5, 151.2093, 30);
    TCheckPointPropertiesForm::SetScript([](TCheckPointPropertiesForm& dialog) {
        dialog.LatMaskEdit->SetText(U("10° 00,000’"));
        dialog.OKButton->click();
    });
    Form->ChangeCheckPointButtonClick();
    EXPECT_EQ(std::get<double>(Fake->Get("CheckPointLatitude")), 10.0);
}

TEST_F(CheckPointDialogsTest, CancelledChangeWritesNothingAndKeepsTheList) {
    Connect();
    SetCurrentCheckPoint("a", "b", "c", 1.0, 2.0, 50);
    AddStaleRow();
    TCheckPointPropertiesForm::SetScript([](TCheckPointPropertiesForm& dialog) {
        dialog.NameEdit->setText(U("другое"));
        dialog.CancelButton->click();
    });
    Form->ChangeCheckPointButtonClick();
    EXPECT_TRUE(Fake->CallsOf("set_").empty());
    EXPECT_TRUE(HasStaleRow());
    EXPECT_EQ(Fake->String("CheckPointName"), "a");
}

TEST_F(CheckPointDialogsTest, FailedReadEndsTheChangeBeforeTheDialogWithTheErrorBox) {
    Connect();
    SetCurrentCheckPoint("a", "b", "c", 1.0, 2.0, 50);
    Fake->Fail("get_CheckPointAddress", E_FAIL);
    UiSeam::SetNextAnswer(IDYES); // the failure prompt raises the error
    bool shown = false;
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm&) { shown = true; });
    Form->ChangeCheckPointButton->setEnabled(true);
    Form->ChangeCheckPointButton->click();
    EXPECT_FALSE(shown);
    EXPECT_EQ(ErrorTexts().size(), 1u);
    EXPECT_EQ(Fake->Calls(), (Calls{"get_CheckPointName", "get_CheckPointAddress"}));
}

TEST_F(CheckPointDialogsTest, ServerClosingWhileTheChangeDialogIsOpenMeansNothingIsWritten) {
    Connect();
    SetCurrentCheckPoint("a", "b", "c", 1.0, 2.0, 50);
    TCheckPointPropertiesForm::SetScript([this](TCheckPointPropertiesForm& dialog) {
        Fake->RaiseEvent(DISPID_OnCloseServer);
        dialog.OKButton->click();
    });
    Form->ChangeCheckPointButtonClick();
    EXPECT_EQ(Automation, nullptr);
    EXPECT_TRUE(Fake->CallsOf("set_").empty());
}

// --- Find -----------------------------------------------------------------------------------------------------

TEST_F(CheckPointDialogsTest, FindSendsTheCoordinatesThenMakesTheFoundCheckPointCurrent) {
    Connect();
    Fake->SetList("CheckPointsNum", "CheckPointIndex",
                  {{{"CheckPointName", std::string("Первая")},
                    {"CheckPointAddress", std::string("")},
                    {"CheckPointID", std::string("1")}},
                   {{"CheckPointName", std::string("Вторая")},
                    {"CheckPointAddress", std::string("пр. Мира")},
                    {"CheckPointID", std::string("B2")}}});
    Fake->Set("CurrentCheckPointIndex", LONG{2});
    std::vector<FakeValue> coords;
    Fake->OnCall("SetCurrentCoords", [&](std::vector<FakeValue>& arguments, FakeValue&) {
        coords = arguments;
        return false;
    });
    QString name, address, id;
    Calls inDialog;
    TFindCheckPointForm::SetScript([&](TFindCheckPointForm& dialog) {
        dialog.LatMaskEdit->SetText(U(" 95° 30,000’"));
        dialog.LngMaskEdit->SetText(U(" 37° 37,020’"));
        dialog.FindButton->click();
        name = dialog.NameEdit->text();
        address = dialog.AddressEdit->text();
        id = dialog.IDEdit->text();
        inDialog = Fake->Calls();
        dialog.OKButton->click();
    });
    Fake->ClearCalls();
    Form->FindCheckPointButton->click();

    EXPECT_EQ(inDialog, (Calls{"SetCurrentCoords(90, 37.617)", "get_CurrentCheckPointIndex", "set_CheckPointIndex(2)",
                               "get_CheckPointName", "get_CheckPointAddress", "get_CheckPointID"}));
    ASSERT_EQ(coords.size(), 2u);
    EXPECT_EQ(std::get<double>(coords[0]), 90.0);
    EXPECT_DOUBLE_EQ(std::get<double>(coords[1]), 37.0 + 37020.0 / 60000.0);
    EXPECT_EQ(name, U("Вторая"));
    EXPECT_EQ(address, U("пр. Мира"));
    EXPECT_EQ(id, U("B2"));
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointDialogsTest, FindWithoutAMatchEmptiesTheFieldsAndLeavesTheCurrentCheckPoint) {
    Connect();
    for (const LONG none : {LONG{0}, LONG{-1}, LONG{-2147483647 - 1}}) {
        Fake->Set("CurrentCheckPointIndex", none);
        Fake->ClearCalls();
        QString name = U("x"), address = U("x"), id = U("x");
        TFindCheckPointForm::SetScript([&](TFindCheckPointForm& dialog) {
            dialog.NameEdit->setText(U("старое"));
            dialog.AddressEdit->setText(U("старое"));
            dialog.IDEdit->setText(U("старое"));
            dialog.FindButton->click();
            name = dialog.NameEdit->text();
            address = dialog.AddressEdit->text();
            id = dialog.IDEdit->text();
        });
        Form->FindCheckPointButton->click();
        // Empty masks send 0 and 0.
        EXPECT_EQ(Fake->Calls(), (Calls{"SetCurrentCoords(0, 0)", "get_CurrentCheckPointIndex"})) << none;
        EXPECT_TRUE(name.isEmpty());
        EXPECT_TRUE(address.isEmpty());
        EXPECT_TRUE(id.isEmpty());
    }
}

TEST_F(CheckPointDialogsTest, FindWhileDisconnectedShowsEmptyFieldsWithoutServerCalls) {
    QString name = U("x");
    TFindCheckPointForm::SetScript([&](TFindCheckPointForm& dialog) {
        dialog.NameEdit->setText(U("старое"));
        dialog.LatMaskEdit->SetText(U("55° 45,350’"));
        dialog.FindButton->click();
        name = dialog.NameEdit->text();
    });
    Form->FindCheckPointButtonClick();
    EXPECT_TRUE(name.isEmpty());
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(UiSeam::ShownBoxes().empty());
}

TEST_F(CheckPointDialogsTest, EachFindStartsWithAFreshDialogAndTheStartUpOneIsNotShown) {
    Connect();
    std::vector<TFindCheckPointForm*> dialogs;
    std::vector<QString> latitudes;
    TFindCheckPointForm::SetScript([&](TFindCheckPointForm& dialog) {
        dialogs.push_back(&dialog);
        latitudes.push_back(dialog.LatMaskEdit->Text());
        dialog.LatMaskEdit->SetText(U("10° 00,000’"));
        dialog.NameEdit->setText(U("набрано"));
        EXPECT_EQ(dialog.windowTitle(), U("Поиск контрольной точки"));
        dialog.OKButton->click();
    });
    Form->FindCheckPointButton->click();
    Form->FindCheckPointButton->click();
    ASSERT_EQ(latitudes.size(), 2u);
    EXPECT_EQ(latitudes[1], U("   °   ,   ’"));
    EXPECT_NE(dialogs[0], FindCheckPointForm);
    EXPECT_NE(dialogs[1], FindCheckPointForm);
    // Closing by OK or Cancel asks the server nothing.
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_EQ(Form->ChPListView->topLevelItemCount(), 0);
}

TEST_F(CheckPointDialogsTest, FailedFindShowsTheErrorAndKeepsTheDialogOpen) {
    Connect();
    Fake->Set("CurrentCheckPointIndex", LONG{1});
    Fake->Fail("get_CurrentCheckPointIndex", E_FAIL);
    UiSeam::SetNextAnswer(IDYES);
    // The real modal run: the dialog is on screen until Cancel.
    bool openAfterFailure = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TFindCheckPointForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->NameEdit->setText(U("старое"));
        dialog->FindButton->click();
        openAfterFailure = dialog->isVisible();
        EXPECT_EQ(dialog->NameEdit->text(), U("старое"));
        dialog->CancelButton->click();
    });
    Form->FindCheckPointButton->click();
    EXPECT_TRUE(openAfterFailure);
    EXPECT_EQ(ErrorTexts().size(), 1u);
    EXPECT_TRUE(Fake->CallsOf("set_CheckPointIndex").empty());
}

TEST_F(CheckPointDialogsTest, FailedSearchCallShowsTheErrorAndReadsNothing) {
    Connect();
    Fake->Set("CurrentCheckPointIndex", LONG{1});
    Fake->Fail("SetCurrentCoords", E_INVALIDARG);
    QString name;
    TFindCheckPointForm::SetScript([&](TFindCheckPointForm& dialog) {
        dialog.NameEdit->setText(U("старое"));
        dialog.FindButton->click();
        name = dialog.NameEdit->text();
    });
    Form->FindCheckPointButton->click();
    EXPECT_EQ(ErrorTexts(), std::vector<std::string>{"The parameter is incorrect (0x80070057)"});
    EXPECT_EQ(Fake->Calls(), (Calls{"SetCurrentCoords(0, 0)"}));
    EXPECT_EQ(name, U("старое"));
}

TEST_F(CheckPointDialogsTest, AddDialogRunsModallyOverTheMainWindowUntilClosed) {
    Connect();
    QString focused;
    bool modalOverMain = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TCheckPointPropertiesForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        focused = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        modalOverMain = dialog->isModal() && dialog->isVisible() && dialog->parentWidget() == Form.get() &&
                        dialog->windowTitle() == U("Добавление контрольной точки");
        dialog->close(); // the title bar's close
    });
    Form->AddCheckPointButton->click();
    EXPECT_EQ(focused, U("NameEdit"));
    EXPECT_TRUE(modalOverMain);
    EXPECT_TRUE(Fake->Calls().empty());
}

TEST_F(CheckPointDialogsTest, FindDialogLooksAsLaidOut) {
    TFindCheckPointForm dialog(Form.get());
    EXPECT_EQ(dialog.windowTitle(), U("Поиск контрольной точки"));
    EXPECT_EQ(dialog.size(), QSize(394, 128));
    EXPECT_EQ(dialog.LatMaskEdit->Text(), U("   °   ,   ’"));
    EXPECT_EQ(dialog.LatMaskEdit->geometry(), QRect(60, 8, 124, 21));
    EXPECT_EQ(dialog.FindButton->geometry(), QRect(60, 56, 100, 25));
    EXPECT_EQ(dialog.FindButton->text(), U("Найти"));
    EXPECT_TRUE(dialog.FindButton->isDefault());
    EXPECT_FALSE(dialog.OKButton->isDefault());
    for (QLineEdit* edit : {dialog.NameEdit, dialog.AddressEdit, dialog.IDEdit}) {
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_FALSE(edit->focusPolicy() & Qt::TabFocus);
    }
}

// --- The server closing in the middle of a command ------------------------------------------------------------

TEST_F(CheckPointDialogsTest, ServerClosingDuringTheChangeReadsDisconnectsInTheDialogAndWritesNothing) {
    Connect();
    SetCurrentCheckPoint("a", "b", "c", 1.0, 2.0, 50);
    Fake->OnCall("get_CheckPointAddress", [this](std::vector<FakeValue>&, FakeValue&) {
        Fake->RaiseEvent(DISPID_OnCloseServer);
        return false;
    });
    QString name, id;
    TCheckPointPropertiesForm::SetScript([&](TCheckPointPropertiesForm& dialog) {
        QApplication::processEvents(); // the dialog's own loop delivers the event held back during the reads
        name = dialog.NameEdit->text();
        id = dialog.IDEdit->text();
        dialog.OKButton->click();
    });
    Form->ChangeCheckPointButtonClick();
    EXPECT_EQ(Automation, nullptr);
    // The reads ended with the server they began with.
    EXPECT_EQ(name, U("a"));
    EXPECT_EQ(id, U("c"));
    EXPECT_TRUE(Fake->CallsOf("set_").empty());
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(CheckPointDialogsTest, ServerClosingDuringTheChangeWritesLetsThemEndThenDisconnects) {
    Connect();
    SetCurrentCheckPoint("a", "b", "c", 1.0, 2.0, 50);
    Fake->OnCall("set_CheckPointID", [this](std::vector<FakeValue>&, FakeValue&) {
        Fake->RaiseEvent(DISPID_OnCloseServer);
        return false;
    });
    TCheckPointPropertiesForm::SetScript([](TCheckPointPropertiesForm& dialog) { dialog.OKButton->click(); });
    Form->ChangeCheckPointButtonClick();
    EXPECT_NE(Automation, nullptr);
    EXPECT_EQ(Fake->CallsOf("set_CheckPointRadius"), Calls{"set_CheckPointRadius(50)"});
    QApplication::processEvents(); // the event held back during the writes
    EXPECT_EQ(Automation, nullptr);
    EXPECT_EQ(Form->ChPListView->topLevelItemCount(), 0);
    EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(CheckPointDialogsTest, ServerClosingDuringAFindLetsTheFindEndThenDisconnectsInTheDialog) {
    Connect();
    Fake->Set("CurrentCheckPointIndex", LONG{1});
    Fake->Set("CheckPointName", std::string("Первая"));
    Fake->OnCall("set_CheckPointIndex", [this](std::vector<FakeValue>&, FakeValue&) {
        Fake->RaiseEvent(DISPID_OnCloseServer);
        return false;
    });
    QString name = U("x");
    bool connectedAfterTheFind = false;
    TFindCheckPointForm::SetScript([&](TFindCheckPointForm& dialog) {
        dialog.FindButton->click();
        name = dialog.NameEdit->text();
        connectedAfterTheFind = Automation != nullptr;
        QApplication::processEvents(); // the dialog's own loop delivers the event held back during the find
    });
    Form->FindCheckPointButton->click();
    EXPECT_TRUE(connectedAfterTheFind);
    EXPECT_EQ(name, U("Первая"));
    EXPECT_EQ(Automation, nullptr);
    EXPECT_TRUE(ErrorTexts().empty());
}
