// korvani-gui as a desktop meets it: where both programs keep their settings (and the earlier
// file they take in once), the desktop file, icon and window class of each, and what their
// screenshots print.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "gui/application_identity.h"
#include "gui/command_line.h"
#include "gui/dialog_template.h"

using namespace korvani::gui;

namespace {

// The "Key=value" lines of the [Desktop Entry] group of a desktop file.
QMap<QString, QString> desktopEntry(const QString& path) {
  QMap<QString, QString> fields;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return fields;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals > 0 && !line.startsWith(QLatin1Char('#'))) {
      fields.insert(line.left(equals), line.mid(equals + 1));
    }
  }
  return fields;
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

  QTemporaryDir configFolder;

  QString configFile(const QString& relative) const { return configFolder.filePath(relative); }

 private slots:
  void initTestCase() {
    // Before the first QSettings, which reads where the user's settings lie once.
    QVERIFY(configFolder.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configFolder.path()));
    nameTheApplication();
  }
  void bothProgramsKeepTheirSettingsUnderKorvani();
  void earlierSettingsAreTakenInOnce();
  void eachModeHasItsOwnDesktopFileIconAndWindowClass_data();
  void eachModeHasItsOwnDesktopFileIconAndWindowClass();
  void screenshotsPrintEachWarningOnce_data();
  void screenshotsPrintEachWarningOnce();
};

void DesktopTest::bothProgramsKeepTheirSettingsUnderKorvani() {
  // The dialog and the mail window both use the default QSettings.
  QCOMPARE(QSettings().fileName(), configFile(QStringLiteral("korvani/korvani-gui.conf")));
}

void DesktopTest::earlierSettingsAreTakenInOnce() {
  const QString earlierFile = configFile(QStringLiteral("Unknown Organization/Korvani.conf"));
  // Without an earlier file there is nothing to take in, and nothing is recorded.
  QCOMPARE(adoptEarlierSettings(), 0);
  QVERIFY(!QSettings().contains(QStringLiteral("settings/earlierFileTaken")));
  {
    QSettings earlier(QStringLiteral("Unknown Organization"), QStringLiteral("Korvani"));
    QCOMPARE(earlier.fileName(), earlierFile);
    earlier.setValue(QStringLiteral("mailWindow/fixedFont"), true);
    earlier.setValue(QStringLiteral("mailWindow/recent"), QStringList{QStringLiteral("/m/a.eml")});
    earlier.setValue(QStringLiteral("openDialog/lastFolder"), QStringLiteral("/earlier"));
  }
  QSettings().setValue(QStringLiteral("openDialog/lastFolder"), QStringLiteral("/current"));

  // Keys the current file lacks come over; those it holds stay as they are.
  QCOMPARE(adoptEarlierSettings(), 2);
  QSettings current;
  QCOMPARE(current.value(QStringLiteral("mailWindow/fixedFont")).toBool(), true);
  QCOMPARE(current.value(QStringLiteral("mailWindow/recent")).toStringList(),
           QStringList{QStringLiteral("/m/a.eml")});
  QCOMPARE(current.value(QStringLiteral("openDialog/lastFolder")).toString(),
           QStringLiteral("/current"));

  // Once: a key the user cleared since is not brought back.
  current.remove(QStringLiteral("mailWindow/recent"));
  current.sync();
  QCOMPARE(adoptEarlierSettings(), 0);
  QVERIFY(!QSettings().contains(QStringLiteral("mailWindow/recent")));
  QVERIFY(QFile::exists(earlierFile));
}

void DesktopTest::eachModeHasItsOwnDesktopFileIconAndWindowClass_data() {
  QTest::addColumn<GuiMode>("mode");
  QTest::addColumn<QStringList>("arguments");  // asking for the mode
  QTest::addColumn<QString>("id");
  QTest::addColumn<QString>("windowClass");  // the instance name X11 gives its windows
  QTest::newRow("converter") << GuiMode::Converter
                             << QStringList{QStringLiteral("korvani-gui"), QStringLiteral("a")}
                             << "korvani"
                             << "korvani-gui";
  QTest::newRow("mail window") << GuiMode::MailWindow
                               << QStringList{QStringLiteral("korvani-gui"),
                                              QStringLiteral("--mail"), QStringLiteral("a")}
                               << "korvani-mail"
                               << "korvani-mail";
}

void DesktopTest::eachModeHasItsOwnDesktopFileIconAndWindowClass() {
  QFETCH(GuiMode, mode);
  QFETCH(QStringList, arguments);
  QFETCH(QString, id);
  QFETCH(QString, windowClass);
  QList<QByteArray> bytes;
  for (const QString& argument : arguments) bytes.append(argument.toUtf8());
  QCOMPARE(asksForMailWindow(bytes), mode == GuiMode::MailWindow);
  QCOMPARE(desktopFileId(mode), id);

  const QMap<QString, QString> entry =
      desktopEntry(QStringLiteral(KORVANI_GUI_RESOURCES "/%1.desktop").arg(id));
  QVERIFY2(!entry.isEmpty(), qPrintable(id));
  QCOMPARE(entry.value(QStringLiteral("Icon")), id);
  QVERIFY(QFile::exists(QStringLiteral(KORVANI_GUI_RESOURCES "/%1.svg").arg(id)));
  QCOMPARE(entry.value(QStringLiteral("StartupWMClass")), windowClass);
  QCOMPARE(entry.value(QStringLiteral("Exec")).contains(QStringLiteral("--mail")),
           mode == GuiMode::MailWindow);
}

void DesktopTest::screenshotsPrintEachWarningOnce_data() {
  QTest::addColumn<QStringList>("arguments");  // before --screenshot PNG
  QTest::addColumn<QString>("locale");         // empty: the test's own
  QTest::addColumn<QSize>("size");             // with IPAPGothic; empty: not checked
  QTest::newRow("dialog") << QStringList() << QString() << QSize(464, 332);
  QTest::newRow("dialog in Japanese")
      << QStringList() << QStringLiteral("ja_JP.UTF-8") << QSize(464, 332);
  QTest::newRow("mail window") << QStringList{QStringLiteral("--mail"),
                                              QStringLiteral(KORVANI_SAMPLES "/mail-window.eml")}
                               << QString() << QSize();
}

void DesktopTest::screenshotsPrintEachWarningOnce() {
  QFETCH(QStringList, arguments);
  QFETCH(QString, locale);
  QFETCH(QSize, size);
  QTemporaryDir folder;
  const QString png = folder.filePath(QStringLiteral("shot.png"));
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // What a build machine often lacks, and Qt warns about for every look-up.
  environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
  if (!locale.isEmpty()) {
    environment.insert(QStringLiteral("LANG"), locale);
    environment.insert(QStringLiteral("LC_ALL"), locale);
  }
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(KORVANI_GUI_BINARY),
                arguments + QStringList{QStringLiteral("--screenshot"), png});
  QVERIFY(program.waitForFinished(60000));
  QCOMPARE(program.exitCode(), 0);
  const QStringList lines = QString::fromLocal8Bit(program.readAllStandardError())
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QCOMPARE(QSet<QString>(lines.begin(), lines.end()).size(), lines.size());
  const QImage shot(png);
  QVERIFY(!shot.isNull());
  if (size.isValid() && fontFamilyResolves(QString::fromUtf8(kDialogFontFamily))) {
    QCOMPARE(shot.size(), size);
  }
}

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
