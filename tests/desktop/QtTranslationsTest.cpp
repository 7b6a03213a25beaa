// Qt's own texts follow the session's locale: the result-check prompt's standard buttons read Да/Нет/Отмена in
// a Russian session, German in a German one and stay English under C.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <gtest/gtest.h>

namespace {

// The standard buttons' texts as a program started under `locale` shows them.
QString ButtonsUnder(const QString& locale) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_MESSAGES", "LANG"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LC_ALL"), locale);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    probe.start(QStringLiteral(NVX_TRANSLATION_PROBE), {});
    if (!probe.waitForFinished(60000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return QStringLiteral("probe failed: ") + QString::fromLocal8Bit(probe.readAllStandardError());
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed().replace(QLatin1Char('\n'), QLatin1Char('|'));
}

} // namespace

TEST(QtTranslationsTest, StandardButtonsFollowTheSessionsLocale) {
    EXPECT_EQ(ButtonsUnder(QStringLiteral("ru_RU.UTF-8")), QStringLiteral("&Да|&Нет|Отмена"));
    EXPECT_EQ(ButtonsUnder(QStringLiteral("de_DE.UTF-8")), QStringLiteral("&Ja|&Nein|Abbrechen"));
    EXPECT_EQ(ButtonsUnder(QStringLiteral("C")), QStringLiteral("&Yes|&No|Cancel"));
}
