// The "Экспорт трека" command against the fake: the file name sent to the server with its extension forced by
// the picked filter, the fixed arguments, what the dialog remembers, and the cases that send nothing.
#include "tests/forms/EntriesFixture.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

using ExportTest = EntriesFixture;

std::string ExportCall(const std::string& fileName) {
    return "ExportTrackToFile(\"" + fileName + "\", 1, \"\", \"\", 0, 0, -1, 0, 0, 0)";
}

} // namespace

TEST_F(ExportTest, OfferedNameWithTheKmlFilterExportsTrackKml) {
    Connect();
    UiSeam::SetNextFile(Form->ExportTrackDialog->FileName); // accepted as offered
    Export();
    ASSERT_EQ(UiSeam::ShownBoxes().size(), 1u);
    EXPECT_EQ(UiSeam::LastShown().kind, UiSeam::TKind::FileDialog);
    EXPECT_EQ(UiSeam::LastShown().caption, "Экспорт трека");
    EXPECT_EQ(UiSeam::LastShown().text, "Track");
    EXPECT_EQ(Fake->Calls(), (std::vector<std::string>{ExportCall("Track.kml")}));
}

TEST_F(ExportTest, DialogOffersBothFormatsWithKmlFirstPicked) {
    EXPECT_EQ(Form->ExportTrackDialog->NameFilters(),
              (QStringList{"Файл OziExplorer (*.plt)", "Файл Google Earth (*.kml)"}));
    EXPECT_EQ(Form->ExportTrackDialog->FilterIndex, 2);
    EXPECT_EQ(Form->ExportTrackDialog->DefaultExt, "kml");
    EXPECT_FALSE(Form->ExportTrackDialog->OverwritePrompt);
}

TEST_F(ExportTest, ThePickedFilterDecidesTheExtension) {
    Connect();
    UiSeam::SetNextFile("/home/user/route.txt", 1);
    Export();
    UiSeam::SetNextFile("/home/user/my.route", 2);
    Export();
    UiSeam::SetNextFile("/home/user/track.KML", 1);
    Export();
    EXPECT_EQ(Fake->CallsOf("ExportTrackToFile"),
              (std::vector<std::string>{ExportCall("/home/user/route.plt"), ExportCall("/home/user/my.kml"),
                                        ExportCall("/home/user/track.plt")}));
}

TEST_F(ExportTest, OnlyTheNamePartsDotStartsTheExtension) {
    Connect();
    UiSeam::SetNextFile("/data/v1.2/track", 1);
    Export();
    EXPECT_EQ(Fake->CallsOf("ExportTrackToFile"), (std::vector<std::string>{ExportCall("/data/v1.2/track.plt")}));
}

TEST_F(ExportTest, BlanksAndControlCharactersAroundTheNameAreRemoved) {
    Connect();
    UiSeam::SetNextFile("  \t/home/user/my trip.plt \n", 1);
    Export();
    EXPECT_EQ(Fake->CallsOf("ExportTrackToFile"), (std::vector<std::string>{ExportCall("/home/user/my trip.plt")}));
    EXPECT_EQ(Form->ExportTrackDialog->FileName, "/home/user/my trip.plt");
}

TEST_F(ExportTest, NextExportOffersTheCorrectedNameAndTheLastFilter) {
    Connect();
    UiSeam::SetNextFile("/home/user/route.txt", 1);
    Export();
    UiSeam::SetNextFileCancel();
    Export();
    ASSERT_EQ(UiSeam::ShownBoxes().size(), 2u);
    EXPECT_EQ(UiSeam::ShownBoxes()[1].text, "/home/user/route.plt");
    EXPECT_EQ(Form->ExportTrackDialog->FilterIndex, 1);
}

TEST_F(ExportTest, CancelSendsNothingAndKeepsTheOfferedName) {
    Connect();
    UiSeam::SetNextFileCancel();
    Export();
    EXPECT_EQ(UiSeam::ShownBoxes().size(), 1u);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_EQ(Form->ExportTrackDialog->FileName, "Track");
    EXPECT_EQ(Form->ExportTrackDialog->FilterIndex, 2);
}

TEST_F(ExportTest, AcceptedDialogAfterTheConnectionWentSendsNothing) {
    Connect();
    Form->DisconnectButtonClick();
    Fake->ClearCalls();
    UiSeam::SetNextFile("/home/user/route", 1);
    Export();
    EXPECT_EQ(Automation, nullptr);
    EXPECT_TRUE(Fake->Calls().empty());
    EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(ExportTest, ExportChangesNoControlAndShowsNoMessage) {
    Connect();
    Form->ExportToFileButton->setEnabled(true);
    Form->EntriesButton->setEnabled(true);
    UiSeam::SetNextFile("/home/user/a", 2);
    Export();
    EXPECT_EQ(UiSeam::ShownBoxes().size(), 1u); // the dialog only
    EXPECT_TRUE(Form->ExportToFileButton->isEnabled());
    EXPECT_TRUE(Form->EntriesButton->isEnabled());
    EXPECT_EQ(Fake->CallsOf("ExportTrackToFile"), (std::vector<std::string>{ExportCall("/home/user/a.kml")}));
}

TEST_F(ExportTest, BlanksBeforeTheNameInsideThePathAreRemovedToo) {
    Connect();
    UiSeam::SetNextFile("/home/user/  route.plt", 1);
    Export();
    UiSeam::SetNextFile("/home/user/ \t", 1); // no name at all
    Export();
    EXPECT_EQ(Fake->CallsOf("ExportTrackToFile"), (std::vector<std::string>{ExportCall("/home/user/route.plt")}));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(UiSeam::LastShown().flags & MB_ICONMASK, MB_ICONWARNING);
}

TEST_F(ExportTest, AnExistingFileIsReplacedOnlyWhenConfirmedAndOnlyWhenTheServerIsOnThisMachine) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile existing(folder.path() + "/route.plt");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    const std::string route = folder.path().toStdString() + "/route";
    Connect();
    UiSeam::SetNextFile(QString::fromStdString(route + ".txt"), 1);
    UiSeam::SetNextAnswer(IDNO);
    Export();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].find(route + ".plt"), std::string::npos) << Messages()[0];
    EXPECT_TRUE(Fake->CallsOf("ExportTrackToFile").empty());

    UiSeam::SetNextFile(QString::fromStdString(route + ".txt"), 1);
    UiSeam::SetNextAnswer(IDYES);
    Export();
    // The very name accepted in the dialog, or one the dialog completed with its default extension, is asked
    // about as well: the dialog itself asks nothing.
    UiSeam::SetNextFile(QString::fromStdString(route + ".plt"), 1);
    UiSeam::SetNextAnswer(IDNO);
    Export();
    UiSeam::SetNextFile(QString::fromStdString(route), 1);
    UiSeam::SetNextAnswer(IDYES);
    Export();
    EXPECT_EQ(Messages().size(), 4u);
    EXPECT_EQ(Fake->CallsOf("ExportTrackToFile"),
              (std::vector<std::string>{ExportCall(route + ".plt"), ExportCall(route + ".plt")}));

    // A server on another machine writes the name there: a file of that name here is no reason to ask.
    Form->SetRemoteMachine("ops@fleet-01");
    UiSeam::SetNextFile(QString::fromStdString(route + ".plt"), 1);
    Export();
    EXPECT_EQ(Messages().size(), 4u);
    EXPECT_EQ(Fake->CallsOf("ExportTrackToFile").size(), 3u);
}

TEST_F(ExportTest, FailedExportShowsTheErrorWithItsCode) {
    Connect();
    Fake->Fail("ExportTrackToFile", E_ACCESSDENIED);
    UiSeam::SetNextFile("/root/track.kml", 2);
    Export();
    EXPECT_EQ(ErrorBoxes(), std::vector<std::string>{"Access is denied (0x80070005)"});
}

TEST_F(ExportTest, ServerClosingWhileTheDialogIsOpenMeansNothingIsSent) {
    Connect();
    UiSeam::SetWhileShown([this](const UiSeam::TShown& shown) {
        if (shown.kind == UiSeam::TKind::FileDialog)
            Fake->RaiseEvent(DISPID_OnCloseServer);
    });
    UiSeam::SetNextFile("/home/user/route", 1);
    Export();
    EXPECT_EQ(Automation, nullptr);
    EXPECT_TRUE(Fake->CallsOf("ExportTrackToFile").empty());
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(Form->ExportToFileButton->isEnabled());
}
