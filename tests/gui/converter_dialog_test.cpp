// The desktop dialog: its layout, its option rules, its keys, and conversions run through it
// with the file dialogs and message boxes answered by ScriptedDialogServices.
#include "gui/converter_dialog.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QTreeView>
#include <QTreeWidget>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "gui/command_line.h"
#include "gui/dialog_template.h"
#include "gui/mail_window.h"
#include "gui/save_as_chooser.h"
#include "mail/mail_engine.h"
#include "platform/posix_platform.h"
#include "scripted_dialog_services.h"

using korvani::ConvertMode;
using korvani::ConvertOutcome;
using korvani::TextCharset;
using korvani::TextEncoding;
using namespace korvani::gui;
namespace control = korvani::gui::control;
namespace messages = korvani::messages;

namespace {

// The eight option radios, in the order the enable masks of the tests list them.
constexpr int kOptionRadios[] = {control::kEncodingAuto, control::kQuotedPrintable,
                                 control::kBase64,       control::kCharsetAuto,
                                 control::kJis,          control::kUtf8,
                                 control::kSjis,         control::kEuc};

QString fromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QCOMPARE(file.write(bytes), bytes.size());
}

// The command line `arguments` (program name first) as korvani-gui reads them.
GuiCommandLine parseCommandLine(const QList<QByteArray>& arguments) {
  QStringList texts;
  for (const QByteArray& argument : arguments) texts.append(QString::fromLocal8Bit(argument));
  QCommandLineParser parser;
  describeCommandLine(parser);
  [&] { QVERIFY(parser.parse(texts)); }();
  return readCommandLine(parser, arguments);
}

QString captionOf(const QWidget* widget) {
  if (auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  return QString();
}

// A shown dialog over the real disk, with scripted file dialogs and message boxes.
struct Fixture {
  korvani::PosixPlatform platform;
  testing::ScriptedDialogServices services;
  ConverterDialog dialog{platform, services};

  Fixture() { dialog.show(); }
  QWidget* at(int id) const { return dialog.control(id); }
  void click(int id) const { QTest::mouseClick(at(id), Qt::LeftButton); }
  bool active() {
    dialog.activateWindow();
    return QTest::qWaitForWindowActive(&dialog);
  }
  // Binary encodes `source` into `mail` through the dialog.
  ConvertOutcome encode(const QString& source, const QString& mail) {
    dialog.setInitialSource(source);
    click(control::kBinaryEncode);
    services.saveAnswer = mail;
    return dialog.convert();
  }
};

}  // namespace

class ConverterDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir settingsFolder;
  // The mail engine set up once for the whole run, as the program sets it up once: the dialogs
  // of the tests come and go, and GMime does not give back all it takes when set up again after
  // being let go.
  korvani::mail::MailLibrary library;

 private slots:
  void initTestCase() {
    // The remembered Open folder goes to a folder of the test's own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
  }
  void dialogUnitsRoundLikeTheDesktop_data();
  void dialogUnitsRoundLikeTheDesktop();
  void dialogFontIsIpaPGothicWithItsBaseUnits();
  void controlsFollowTheTemplateInTabOrder();
  void optionRadiosFollowTheMode_data();
  void optionRadiosFollowTheMode();
  void sourceFieldTracksHasSource();
  void convertWithoutSourceIsTheDialogsMessage_data();
  void convertWithoutSourceIsTheDialogsMessage();
  void enterEndsTheDialogUnlessOnAButton_data();
  void enterEndsTheDialogUnlessOnAButton();
  void closingTheWindowEndsTheDialog();
  void browseSetsTheSourceAndCancelChangesNothing();
  void droppedLocalFileBecomesTheSource();
  void commandLineNamesTheSourceAndTheScreenshot();
  void binaryRoundTripFromTheCommandLineProposesTheAttachmentsName();
  void textModesReproducePlainAscii_data();
  void textModesReproducePlainAscii();
  void workerFailuresAreUnownedMessages_data();
  void workerFailuresAreUnownedMessages();
  void binaryDecodeOfTodaysMailOffersTheMailWindow_data();
  void binaryDecodeOfTodaysMailOffersTheMailWindow();
  void proposedNameIsOfferedAndStoredInUtf8_data();
  void proposedNameIsOfferedAndStoredInUtf8();
  void fileDialogsShowAllFilesAndNeverConfirmOverwriting();
  void fileDialogColumnsFitWhatTheyShow();
  void anySourceNameOpens_data();
  void anySourceNameOpens();
  void commandLineOptionsAreMatchedExactly_data();
  void commandLineOptionsAreMatchedExactly();
  void helpAndVersionNeedNoDisplay();
  void startupFailuresReachADesktopUser();
  void qtDialogsSpeakTheUsersLanguage();
  void messageBoxesShowPlainTextWithTheirCaption();
  void layoutFitsEveryCaptionInEitherFont_data();
  void layoutFitsEveryCaptionInEitherFont();
  void conversionShowsTheWaitCursorWhileItWorks_data();
  void conversionShowsTheWaitCursorWhileItWorks();
  void fileDialogsStartInTheSourcesFolder();
  void everyControlHasAnAccessibleName();
};

void ConverterDialogTest::dialogUnitsRoundLikeTheDesktop_data() {
  QTest::addColumn<QSize>("base");
  QTest::addColumn<QRect>("units");
  QTest::addColumn<QRect>("pixels");
  QTest::newRow("source group") << QSize(7, 13) << QRect(7, 7, 251, 34) << QRect(12, 11, 439, 55);
  QTest::newRow("halves round up") << QSize(7, 13) << QRect(58, 204, 2, 4) << QRect(102, 332, 4, 7);
  QTest::newRow("other font") << QSize(6, 12) << QRect(17, 20, 189, 12) << QRect(26, 30, 284, 18);
}

void ConverterDialogTest::dialogUnitsRoundLikeTheDesktop() {
  QFETCH(QSize, base);
  QFETCH(QRect, units);
  QFETCH(QRect, pixels);
  const DialogUnits converter(base.width(), base.height());
  QCOMPARE(converter.toPixels({units.x(), units.y(), units.width(), units.height()}), pixels);
}

void ConverterDialogTest::dialogFontIsIpaPGothicWithItsBaseUnits() {
  // Under a Japanese locale the font database lists the family by its Japanese name only.
  const QStringList ipaPGothic = {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")};
  const QStringList installed = QFontDatabase::families();
  if (!installed.contains(ipaPGothic[0]) && !installed.contains(ipaPGothic[1])) {
    QSKIP("IPAPGothic is not installed");
  }
  Fixture fixture;
  const QFontInfo info(fixture.dialog.font());
  QVERIFY2(ipaPGothic.contains(info.family()), qPrintable(info.family()));
  QCOMPARE(info.pointSize(), 9);
  QCOMPARE(DialogUnits(QFontMetricsF(fixture.dialog.font())).baseUnits(), QSize(7, 13));
  QCOMPARE(fixture.dialog.size(), QSize(464, 332));
}

void ConverterDialogTest::controlsFollowTheTemplateInTabOrder() {
  Fixture fixture;
  QCOMPARE(fixture.dialog.windowTitle(), QStringLiteral("Korvani Ver1.04"));
  const DialogUnits& units = fixture.dialog.dialogUnits();
  QCOMPARE(units.baseUnits(), DialogUnits(QFontMetricsF(fixture.dialog.font())).baseUnits());
  QCOMPARE(fixture.dialog.size(), units.toPixels(kDialogSize).size());

  const QList<QGroupBox*> groupBoxes = fixture.dialog.findChildren<QGroupBox*>();
  qsizetype groupBoxIndex = 0;
  QList<QWidget*> tabStops;
  for (const ControlRow& row : controlTable()) {
    QWidget* widget = row.id == -1 ? groupBoxes.value(groupBoxIndex++) : fixture.at(row.id);
    QVERIFY2(widget, row.caption);
    QCOMPARE(captionOf(widget), QString::fromUtf8(row.caption));
    const QRect expected = units.toPixels(row.rect);
    QCOMPARE(widget->pos(), expected.topLeft());
    QCOMPARE(widget->height(), expected.height());
    // Radios may grow to fit their captions; nothing else differs from its rectangle.
    if (qobject_cast<QRadioButton*>(widget)) {
      QVERIFY(widget->width() >= expected.width());
      QVERIFY(widget->width() >= widget->sizeHint().width());
    } else {
      QCOMPARE(widget->width(), expected.width());
    }
    if (widget->focusPolicy() != Qt::NoFocus) tabStops.append(widget);
  }
  QCOMPARE(groupBoxIndex, groupBoxes.size());

  // A grown radio never reaches the next control in its row.
  const QList<QRadioButton*> radios = fixture.dialog.findChildren<QRadioButton*>();
  for (QRadioButton* radio : radios) {
    for (QRadioButton* other : radios) {
      if (radio != other)
        QVERIFY2(!radio->geometry().intersects(other->geometry()), qPrintable(radio->text()));
    }
  }

  QWidget* widget = tabStops.front();
  for (QWidget* expected : tabStops) {
    QCOMPARE(widget, expected);
    widget = widget->nextInFocusChain();
    while (widget->focusPolicy() == Qt::NoFocus) widget = widget->nextInFocusChain();
  }
  QCOMPARE(fixture.dialog.focusWidget(), fixture.at(control::kSourceEdit));
}

void ConverterDialogTest::optionRadiosFollowTheMode_data() {
  QTest::addColumn<QList<int>>("clicks");
  QTest::addColumn<ConvertMode>("mode");
  QTest::addColumn<TextEncoding>("encoding");
  QTest::addColumn<TextCharset>("charset");
  QTest::addColumn<QString>("enabled");  // one digit per radio of kOptionRadios

  using enum ConvertMode;
  const auto qp = TextEncoding::QuotedPrintable;
  QTest::newRow("start") << QList<int>{} << BinaryDecode << TextEncoding::Auto << TextCharset::Auto
                         << "00000000";
  QTest::newRow("disabled radios ignore clicks")
      << QList<int>{control::kBase64, control::kEuc} << BinaryDecode << TextEncoding::Auto
      << TextCharset::Auto << "00000000";
  QTest::newRow("mail decode enables all eight")
      << QList<int>{control::kMailDecode} << MailDecode << TextEncoding::Auto << TextCharset::Auto
      << "11111111";
  QTest::newRow("text decode moves auto to QP and JIS")
      << QList<int>{control::kTextDecode} << TextDecode << qp << TextCharset::Jis << "01101111";
  QTest::newRow("text then mail keeps QP and JIS")
      << QList<int>{control::kTextDecode, control::kMailDecode} << MailDecode << qp
      << TextCharset::Jis << "11111111";
  QTest::newRow("text then binary decode disables all and keeps the choices")
      << QList<int>{control::kTextDecode, control::kBinaryDecode} << BinaryDecode << qp
      << TextCharset::Jis << "00000000";
  QTest::newRow("text then binary encode disables all and keeps the choices")
      << QList<int>{control::kTextDecode, control::kBinaryEncode} << BinaryEncode << qp
      << TextCharset::Jis << "00000000";
  QTest::newRow("explicit choices survive text decode")
      << QList<int>{control::kMailDecode, control::kBase64, control::kEuc, control::kTextDecode}
      << TextDecode << TextEncoding::Base64 << TextCharset::Euc << "01101111";
  QTest::newRow("auto chosen again in mail decode moves again")
      << QList<int>{control::kTextDecode, control::kMailDecode, control::kEncodingAuto,
                    control::kCharsetAuto, control::kTextDecode}
      << TextDecode << qp << TextCharset::Jis << "01101111";
  QTest::newRow("auto kept through mail and binary modes")
      << QList<int>{control::kMailDecode, control::kBinaryEncode} << BinaryEncode
      << TextEncoding::Auto << TextCharset::Auto << "00000000";
}

void ConverterDialogTest::optionRadiosFollowTheMode() {
  QFETCH(QList<int>, clicks);
  QFETCH(ConvertMode, mode);
  QFETCH(TextEncoding, encoding);
  QFETCH(TextCharset, charset);
  QFETCH(QString, enabled);

  Fixture fixture;
  for (int id : clicks) fixture.click(id);
  const OptionState& state = fixture.dialog.optionState();
  QCOMPARE(state.mode, mode);
  QCOMPARE(state.encodingOption, encoding);
  QCOMPARE(state.charsetOption, charset);

  QString shownEnabled;
  for (int id : kOptionRadios) shownEnabled += fixture.at(id)->isEnabled() ? u'1' : u'0';
  QCOMPARE(shownEnabled, enabled);

  // Exactly the radios of the state are checked, enabled or not.
  const int modeRadios[] = {control::kBinaryDecode, control::kBinaryEncode, control::kMailDecode,
                            control::kTextDecode};
  const QList<int> checked = {modeRadios[static_cast<int>(mode)],
                              kOptionRadios[static_cast<int>(encoding)],
                              kOptionRadios[3 + static_cast<int>(charset)]};
  for (const ControlRow& row : controlTable()) {
    if (auto* radio = qobject_cast<QRadioButton*>(fixture.at(row.id))) {
      QVERIFY2(radio->isChecked() == checked.contains(row.id), row.caption);
    }
  }
}

void ConverterDialogTest::sourceFieldTracksHasSource() {
  Fixture fixture;
  auto* edit = static_cast<QLineEdit*>(fixture.at(control::kSourceEdit));
  QTest::keyClicks(edit, QStringLiteral("inbox/mail.eml"));
  QCOMPARE(fixture.dialog.optionState().sourcePath, QStringLiteral("inbox/mail.eml"));
  QVERIFY(fixture.dialog.optionState().hasSource());

  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QCOMPARE(fixture.dialog.optionState().sourcePath, QString());
  QVERIFY(!fixture.dialog.optionState().hasSource());
}

void ConverterDialogTest::convertWithoutSourceIsTheDialogsMessage_data() {
  QTest::addColumn<int>("focus");
  QTest::addColumn<bool>("byEscape");
  QTest::newRow("Convert button") << control::kConvert << false;
  QTest::newRow("Escape in the source field") << control::kSourceEdit << true;
  QTest::newRow("Escape on a radio") << control::kTextDecode << true;
}

void ConverterDialogTest::convertWithoutSourceIsTheDialogsMessage() {
  QFETCH(int, focus);
  QFETCH(bool, byEscape);
  Fixture fixture;
  QVERIFY(fixture.active());
  QSignalSpy finished(&fixture.dialog, &QDialog::finished);
  fixture.at(focus)->setFocus();
  if (byEscape) {
    QTest::keyClick(fixture.at(focus), Qt::Key_Escape);
  } else {
    QTest::mouseClick(fixture.at(focus), Qt::LeftButton);
  }
  QCOMPARE(fixture.services.messages.size(), std::size_t{1});
  QCOMPARE(fixture.services.messages[0].owner, &fixture.dialog);
  QCOMPARE(fixture.services.messages[0].caption, QStringLiteral("Korvani"));
  QCOMPARE(fixture.services.messages[0].icon, QMessageBox::NoIcon);
  QCOMPARE(fixture.services.messages[0].text, QStringLiteral("変換元ファイル名が未指定です。"));
  QVERIFY(fixture.services.saveRequests.empty());
  QCOMPARE(fixture.dialog.focusWidget(), fixture.at(control::kSourceEdit));
  QCOMPARE(finished.count(), 0);
  QVERIFY(fixture.dialog.isVisible());
}

void ConverterDialogTest::enterEndsTheDialogUnlessOnAButton_data() {
  QTest::addColumn<int>("focus");
  QTest::addColumn<bool>("ends");
  QTest::addColumn<int>("opens");     // Open-file dialogs shown
  QTest::addColumn<int>("messages");  // message boxes shown
  QTest::newRow("source field") << control::kSourceEdit << true << 0 << 0;
  QTest::newRow("mode radio") << control::kMailDecode << true << 0 << 0;
  QTest::newRow("Browse") << control::kBrowse << false << 1 << 0;
  QTest::newRow("Convert") << control::kConvert << false << 0 << 1;
  QTest::newRow("Exit") << control::kExit << true << 0 << 0;
}

void ConverterDialogTest::enterEndsTheDialogUnlessOnAButton() {
  QFETCH(int, focus);
  QFETCH(bool, ends);
  QFETCH(int, opens);
  QFETCH(int, messages);
  Fixture fixture;
  QVERIFY(fixture.active());
  QSignalSpy finished(&fixture.dialog, &QDialog::finished);
  fixture.at(focus)->setFocus();
  QTest::keyClick(fixture.at(focus), Qt::Key_Return);
  QCOMPARE(finished.count(), ends ? 1 : 0);
  if (ends) QCOMPARE(fixture.dialog.result(), int{QDialog::Accepted});
  QCOMPARE(fixture.services.openRequests.size(), static_cast<std::size_t>(opens));
  QCOMPARE(fixture.services.messages.size(), static_cast<std::size_t>(messages));
}

void ConverterDialogTest::closingTheWindowEndsTheDialog() {
  Fixture fixture;
  QSignalSpy finished(&fixture.dialog, &QDialog::finished);
  QVERIFY(fixture.dialog.close());
  QCOMPARE(finished.count(), 1);
  QVERIFY(fixture.services.messages.empty());
}

void ConverterDialogTest::browseSetsTheSourceAndCancelChangesNothing() {
  Fixture fixture;
  const QString chosen = QStringLiteral("/home/user/メール/受信.eml");
  fixture.services.openAnswer = chosen;
  fixture.click(control::kBrowse);
  QCOMPARE(static_cast<QLineEdit*>(fixture.at(control::kSourceEdit))->text(), chosen);
  QCOMPARE(fixture.dialog.optionState().sourcePath, chosen);
  QVERIFY(fixture.dialog.optionState().hasSource());

  fixture.services.openAnswer.reset();
  fixture.click(control::kBrowse);
  QCOMPARE(fixture.services.openRequests.size(), std::size_t{2});
  QCOMPARE(fixture.dialog.optionState().sourcePath, chosen);
}

void ConverterDialogTest::droppedLocalFileBecomesTheSource() {
  Fixture fixture;
  QMimeData remoteOnly;
  remoteOnly.setUrls({QUrl(QStringLiteral("https://example.com/a.eml"))});
  QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &remoteOnly, Qt::LeftButton,
                          Qt::NoModifier);
  QCoreApplication::sendEvent(&fixture.dialog, &refused);
  QVERIFY(!refused.isAccepted());

  QMimeData files;
  files.setUrls({QUrl(QStringLiteral("https://example.com/a.eml")),
                 QUrl::fromLocalFile(QStringLiteral("/tmp/受信 1.eml")),
                 QUrl::fromLocalFile(QStringLiteral("/tmp/second.eml"))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&fixture.dialog, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&fixture.dialog, &drop);
  QCOMPARE(fixture.dialog.optionState().sourcePath, QStringLiteral("/tmp/受信 1.eml"));
  QCOMPARE(static_cast<QLineEdit*>(fixture.at(control::kSourceEdit))->text(),
           QStringLiteral("/tmp/受信 1.eml"));
}

void ConverterDialogTest::commandLineNamesTheSourceAndTheScreenshot() {
  const auto parse = [](const QList<QByteArray>& arguments) { return parseCommandLine(arguments); };
  const GuiCommandLine none = parse({"korvani-gui"});
  QCOMPARE(none.initialSource, QString());
  QCOMPARE(none.screenshotPath, QString());
  const GuiCommandLine two = parse({"korvani-gui", "--screenshot", "shot.png", "a.eml", "b.eml"});
  QCOMPARE(two.initialSource, QStringLiteral("a.eml"));
  QCOMPARE(two.screenshotPath, QStringLiteral("shot.png"));

  Fixture fixture;
  fixture.dialog.setInitialSource(QString());
  QVERIFY(!fixture.dialog.optionState().hasSource());
  fixture.dialog.setInitialSource(two.initialSource);
  QCOMPARE(static_cast<QLineEdit*>(fixture.at(control::kSourceEdit))->text(),
           QStringLiteral("a.eml"));
  QVERIFY(fixture.dialog.optionState().hasSource());
  fixture.dialog.setInitialSource(QString());
  QCOMPARE(fixture.dialog.optionState().sourcePath, QStringLiteral("a.eml"));
}

void ConverterDialogTest::binaryRoundTripFromTheCommandLineProposesTheAttachmentsName() {
  QTemporaryDir folder;
  QByteArray original;
  for (int i = 0; i < 3000; ++i) original.append(static_cast<char>((i * 7 + i / 256) & 0xFF));
  writeAll(folder.filePath("report.pdf"), original);

  {
    Fixture encoding;
    QCOMPARE(encoding.encode(folder.filePath("report.pdf"), folder.filePath("mail.eml")),
             ConvertOutcome::Converted);
    QCOMPARE(encoding.services.saveRequests.size(), std::size_t{1});
    QCOMPARE(encoding.services.saveRequests[0].proposedName, QString());
    QCOMPARE(encoding.services.saveRequests[0].defaultSuffix, QString());
    QCOMPARE(encoding.services.saveRequests[0].parent, &encoding.dialog);
    QVERIFY(readAll(folder.filePath("mail.eml")).contains("filename=\"report.pdf\""));
  }

  // Started with the mail on the command line, in the initial mode: binary decode.
  Fixture decoding;
  decoding.dialog.setInitialSource(folder.filePath("mail.eml"));
  QVERIFY(QDir(folder.path()).mkdir("out"));
  decoding.services.saveAnswer = folder.filePath("out/report.pdf");
  QCOMPARE(decoding.dialog.convert(), ConvertOutcome::Converted);
  QCOMPARE(decoding.services.saveRequests.size(), std::size_t{1});
  QCOMPARE(decoding.services.saveRequests[0].proposedName, QStringLiteral("report.pdf"));
  QCOMPARE(decoding.services.saveRequests[0].defaultSuffix, QStringLiteral("pdf"));
  QCOMPARE(readAll(folder.filePath("out/report.pdf")), original);
  QVERIFY(decoding.services.messages.empty());
}

void ConverterDialogTest::textModesReproducePlainAscii_data() {
  QTest::addColumn<int>("modeRadio");
  QTest::addColumn<QByteArray>("content");
  QTest::newRow("mail decode") << control::kMailDecode
                               << QByteArray("Subject: plain\r\n\r\nplain body line\r\n");
  QTest::newRow("text decode") << control::kTextDecode
                               << QByteArray("plain text line\r\nsecond line\r\n");
}

void ConverterDialogTest::textModesReproducePlainAscii() {
  QFETCH(int, modeRadio);
  QFETCH(QByteArray, content);
  QTemporaryDir folder;
  writeAll(folder.filePath("in.txt"), content);
  Fixture fixture;
  fixture.dialog.setInitialSource(folder.filePath("in.txt"));
  fixture.click(modeRadio);
  fixture.services.saveAnswer = folder.filePath("out.txt");
  QCOMPARE(fixture.dialog.convert(), ConvertOutcome::Converted);
  QCOMPARE(fixture.services.saveRequests.size(), std::size_t{1});
  QCOMPARE(fixture.services.saveRequests[0].proposedName, QString());
  QCOMPARE(fixture.services.saveRequests[0].defaultSuffix, QString());
  QCOMPARE(readAll(folder.filePath("out.txt")), content);
  QVERIFY(fixture.services.messages.empty());
}

void ConverterDialogTest::workerFailuresAreUnownedMessages_data() {
  QTest::addColumn<int>("modeRadio");
  QTest::addColumn<QByteArray>("content");  // empty: there is no source file
  QTest::addColumn<QString>("message");
  QTest::newRow("binary encode of a missing file")
      << control::kBinaryEncode << QByteArray() << fromUtf8(messages::kPackageOpenFailed);
  QTest::newRow("binary decode of a file that is no mail")
      << control::kBinaryDecode << QByteArray("just text\r\n")
      << fromUtf8(messages::kBadMailStructure);
  // The locator's empty message, with its reason under it, is in
  // binaryDecodeOfTodaysMailOffersTheMailWindow.
}

void ConverterDialogTest::workerFailuresAreUnownedMessages() {
  QFETCH(int, modeRadio);
  QFETCH(QByteArray, content);
  QFETCH(QString, message);
  QTemporaryDir folder;
  if (!content.isEmpty()) writeAll(folder.filePath("in"), content);
  Fixture fixture;
  fixture.dialog.setInitialSource(folder.filePath("in"));
  fixture.click(modeRadio);
  fixture.services.saveAnswer = folder.filePath("out");
  QCOMPARE(fixture.dialog.convert(), ConvertOutcome::Failed);
  QCOMPARE(fixture.services.messages.size(), std::size_t{1});
  QCOMPARE(fixture.services.messages[0].owner, nullptr);
  QCOMPARE(fixture.services.messages[0].caption, QStringLiteral("エラー"));
  // An open failure names the path and the reason on a second line, under the fixed text.
  QCOMPARE(fixture.services.messages[0].text.section(QLatin1Char('\n'), 0, 0), message);
  if (content.isEmpty()) {
    QCOMPARE(fixture.services.messages[0].text.section(QLatin1Char('\n'), 1),
             folder.filePath("in") + QStringLiteral(": ") +
                 QString::fromLocal8Bit(std::strerror(ENOENT)));
  } else {
    QCOMPARE(fixture.services.messages[0].text, message);
  }
  QCOMPARE(fixture.services.messages[0].action, QString());
  QCOMPARE(fixture.services.messages[0].icon, QMessageBox::NoIcon);
  QVERIFY(!fixture.services.messages[0].waitCursor);
  QVERIFY(fixture.services.saveRequests.empty());
  QVERIFY(!QFile::exists(folder.filePath("out")));
}

void ConverterDialogTest::binaryDecodeOfTodaysMailOffersTheMailWindow_data() {
  QTest::addColumn<QString>("mail");
  QTest::addColumn<QString>("message");  // the system's, kept as the first line
  QTest::addColumn<QString>("reason");   // the lines between it and the count; empty: none
  QTest::addColumn<int>("found");
  const QString corpus = QStringLiteral(KORVANI_MAIL_CORPUS "/");
  const QString badStructure = fromUtf8(messages::kBadMailStructure);
  QTest::newRow("Gmail") << corpus + "gmail.eml" << badStructure << QString() << 1;
  QTest::newRow("Outlook") << corpus + "outlook.eml" << badStructure << QString() << 2;
  QTest::newRow("iPhone") << corpus + "iphone.eml" << badStructure << QString() << 1;
  QTest::newRow("a named attachment that is not base64")
      << QString() << QString() << fromUtf8(messages::kNotBase64Reason) << 1;
}

void ConverterDialogTest::binaryDecodeOfTodaysMailOffersTheMailWindow() {
  QFETCH(QString, mail);
  QFETCH(QString, message);
  QFETCH(QString, reason);
  QFETCH(int, found);
  QTemporaryDir folder;
  if (mail.isEmpty()) {
    mail = folder.filePath("named.eml");
    writeAll(mail,
             "Subject: named\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n=41\r\n");
  }
  for (const bool open : {false, true}) {
    Fixture fixture;
    fixture.dialog.setInitialSource(mail);
    fixture.services.actionAnswer = open;
    QCOMPARE(fixture.dialog.convert(), ConvertOutcome::Failed);
    QCOMPARE(fixture.services.messages.size(), std::size_t{1});
    const auto& shown = fixture.services.messages[0];
    QStringList expected{message};
    if (!reason.isEmpty()) expected.append(reason);
    expected.append(QString::fromUtf8(kAttachmentsFoundFormat).arg(found));
    QCOMPARE(shown.text.split(QLatin1Char('\n')), expected);
    QCOMPARE(shown.action, QString::fromUtf8(kOpenInMailWindow));
    QCOMPARE(shown.icon, message.isEmpty() ? QMessageBox::Warning : QMessageBox::NoIcon);
    QVERIFY(fixture.services.saveRequests.empty());
    if (!open) {
      QCOMPARE(fixture.dialog.mailWindow(), nullptr);
      continue;
    }
    // The button opens the mail window over the same file, with its attachments listed.
    MailWindow* window = fixture.dialog.mailWindow();
    QVERIFY(window);
    if (window->isBusy() || !window->windowTitle().startsWith(QFileInfo(mail).fileName())) {
      QSignalSpy shownSpy(window, &MailWindow::mailShown);
      QVERIFY(shownSpy.wait(10000));
    }
    QVERIFY(window->isVisible());
    QVERIFY(window->fileReadable());
    QVERIFY2(window->windowTitle().startsWith(QFileInfo(mail).fileName()),
             qPrintable(window->windowTitle()));
    const auto* attachments = window->findChild<QTreeWidget*>(QStringLiteral("attachmentList"));
    QVERIFY(attachments);
    QCOMPARE(attachments->topLevelItemCount(), found);
  }
}

void ConverterDialogTest::proposedNameIsOfferedAndStoredInUtf8_data() {
  QTest::addColumn<QByteArray>("raw");            // the name the mail proposes
  QTest::addColumn<QString>("shown");             // proposed in the Save-As dialog
  QTest::addColumn<QString>("suffix");            // its default suffix
  QTest::addColumn<QString>("confirmed");         // what the user confirms, under /out/
  QTest::addColumn<QByteArray>("written");        // the output path's bytes, under /out/
  const QByteArray sjis("\x95\xf1\x8d\x90.txt");  // 報告.txt in code page 932
  QTest::newRow("ascii") << QByteArray("report.pdf") << "report.pdf"
                         << "pdf"
                         << "report.pdf" << QByteArray("report.pdf");
  QTest::newRow("utf-8") << QByteArray("報告.txt") << "報告.txt"
                         << "txt"
                         << "報告.txt" << QByteArray("報告.txt");
  QTest::newRow("code page 932 stored in UTF-8") << sjis << "報告.txt"
                                                 << "txt"
                                                 << "報告.txt" << QByteArray("報告.txt");
  QTest::newRow("code page 932 renamed by the user") << sjis << "報告.txt"
                                                     << "txt"
                                                     << "控え.txt" << QByteArray("控え.txt");
  // Neither UTF-8 nor code page 932: what has no character becomes '_'.
  QTest::newRow("neither") << QByteArray("\xff\xfe.bin") << "__.bin"
                           << "bin"
                           << "__.bin" << QByteArray("__.bin");
  QTest::newRow("no dot, no suffix") << QByteArray("README") << "README"
                                     << ""
                                     << "README" << QByteArray("README");
  QTest::newRow("folders in the name are not followed")
      << QByteArray("../../.profile") << "_profile"
      << ""
      << "_profile" << QByteArray("_profile");
  QTest::newRow("no name") << QByteArray() << ""
                           << ""
                           << "saved.bin" << QByteArray("saved.bin");
}

void ConverterDialogTest::proposedNameIsOfferedAndStoredInUtf8() {
  QFETCH(QByteArray, raw);
  QFETCH(QString, shown);
  QFETCH(QString, suffix);
  QFETCH(QString, confirmed);
  QFETCH(QByteArray, written);
  Fixture fixture;
  SaveAsChooser chooser(fixture.platform, fixture.services, fixture.dialog);
  fixture.services.saveAnswer = QStringLiteral("/out/") + confirmed;
  std::string path;
  QVERIFY(chooser.chooseOutputFile(raw.toStdString(), path));
  QCOMPARE(fixture.services.saveRequests.size(), std::size_t{1});
  QCOMPARE(fixture.services.saveRequests[0].proposedName, shown);
  QCOMPARE(fixture.services.saveRequests[0].defaultSuffix, suffix);
  QCOMPARE(QByteArray::fromStdString(path), QByteArray("/out/") + written);

  fixture.services.saveAnswer.reset();
  path = "unchanged";
  QVERIFY(!chooser.chooseOutputFile("x", path));
  QCOMPARE(path, std::string("unchanged"));
}

void ConverterDialogTest::fileDialogsShowAllFilesAndNeverConfirmOverwriting() {
  QFileDialog save;
  save.setOption(QFileDialog::DontUseNativeDialog);
  configureSaveDialog(save, QString(), QStringLiteral("report.pdf"), QStringLiteral("pdf"));
  QCOMPARE(save.acceptMode(), QFileDialog::AcceptSave);
  QVERIFY(save.testOption(QFileDialog::DontConfirmOverwrite));
  QCOMPARE(save.defaultSuffix(), QStringLiteral("pdf"));
  QFileDialog open;
  open.setOption(QFileDialog::DontUseNativeDialog);
  configureOpenDialog(open, QString());
  QCOMPARE(open.acceptMode(), QFileDialog::AcceptOpen);
  QCOMPARE(open.fileMode(), QFileDialog::ExistingFile);
  QCOMPARE(open.defaultSuffix(), QString());

  for (QFileDialog* dialog : {&save, &open}) {
    // One filter, labelled as the user knows it, that lets files without a dot through.
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QVERIFY(types);
    QCOMPARE(types->count(), 1);
    QCOMPARE(types->itemText(0), QStringLiteral("All Files (*.*)"));
    auto* model = dialog->findChild<QFileSystemModel*>();
    QVERIFY(model);
    QCOMPARE(model->nameFilters(), QStringList{QStringLiteral("*")});
  }
}

// Qt's own file dialog, as a desktop without a native one shows it: the size, type and date
// columns hold what they show once the folder is read, and the name has the rest.
void ConverterDialogTest::fileDialogColumnsFitWhatTheyShow() {
  QTemporaryDir folder;
  QFile file(folder.filePath(QStringLiteral("2024年度_第3四半期_営業報告書_最終版_確認済み.xlsx")));
  QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(123456, 'x')) == 123456);
  file.close();
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  auto* model = dialog.findChild<QFileSystemModel*>();
  QVERIFY(model);
  QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
  configureOpenDialog(dialog, folder.path());
  dialog.setViewMode(QFileDialog::Detail);
  dialog.show();
  QVERIFY(loaded.count() > 0 || loaded.wait(10000));
  QCoreApplication::processEvents();
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  QVERIFY(view);
  QCOMPARE(view->header()->sectionResizeMode(0), QHeaderView::Stretch);
  // Every column of the file's row after the name is wider than its text.
  const QModelIndex row = model->index(file.fileName());
  QVERIFY(row.isValid());
  for (int column = 1; column < view->header()->count(); ++column) {
    if (view->isColumnHidden(column)) continue;
    const QString shown = model->index(row.row(), column, row.parent()).data().toString();
    QVERIFY2(view->columnWidth(column) > view->fontMetrics().horizontalAdvance(shown),
             qPrintable(shown));
  }
}

// A file named by bytes that are not UTF-8, next to one named in UTF-8.
constexpr char kNotUtf8Name[] = "\xff\xfe \x95\xf1.bin";

void ConverterDialogTest::anySourceNameOpens_data() {
  QTest::addColumn<QString>("route");
  QTest::newRow("command line") << "command line";
  QTest::newRow("drop") << "drop";
  QTest::newRow("Browse") << "Browse";
}

void ConverterDialogTest::anySourceNameOpens() {
  QFETCH(QString, route);
  QTemporaryDir folder;
  const QByteArray source = QFile::encodeName(folder.path()) + '/' + kNotUtf8Name;
  std::FILE* file = std::fopen(source.constData(), "wb");
  QVERIFY(file);
  std::fputs("payload", file);
  std::fclose(file);

  Fixture fixture;
  if (route == "command line") {
    const GuiCommandLine commandLine = parseCommandLine({"korvani-gui", "--", source});
    QCOMPARE(commandLine.initialSourceBytes, source);
    fixture.dialog.setInitialSource(commandLine.initialSourceBytes);
  } else if (route == "drop") {
    QMimeData files;
    files.setUrls(
        {QUrl(QStringLiteral("file://") + QString::fromLatin1(source.toPercentEncoding("/")))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&fixture.dialog, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&fixture.dialog, &drop);
  } else {
    fixture.services.openAnswer = QFile::decodeName(source);  // as the dialog lists it
    fixture.click(control::kBrowse);
  }
  QCOMPARE(fixture.dialog.optionState().sourcePath, QFile::decodeName(source));
  QCOMPARE(fixture.encode(QString(), folder.filePath("mail.eml")), ConvertOutcome::Converted);
  QVERIFY(fixture.services.messages.empty());
  QVERIFY(readAll(folder.filePath("mail.eml")).contains("cGF5bG9hZA=="));

  // Once edited, the field's text is the path.
  auto* edit = static_cast<QLineEdit*>(fixture.at(control::kSourceEdit));
  edit->setText(edit->text() + QStringLiteral("x"));
  edit->setText(edit->text().chopped(1));
  QCOMPARE(fixture.dialog.convert(), ConvertOutcome::Failed);
  QCOMPARE(fixture.services.messages.back().text.section(QLatin1Char('\n'), 0, 0),
           fromUtf8(messages::kPackageOpenFailed));
}

void ConverterDialogTest::commandLineOptionsAreMatchedExactly_data() {
  QTest::addColumn<QList<QByteArray>>("arguments");
  QTest::addColumn<bool>("screenshot");
  QTest::addColumn<bool>("information");
  QTest::addColumn<QByteArray>("source");
  using List = QList<QByteArray>;
  QTest::newRow("plain") << List{"a.eml"} << false << false << QByteArray("a.eml");
  QTest::newRow("screenshot") << List{"--screenshot", "x.png", "a.eml"} << true << false
                              << QByteArray("a.eml");
  QTest::newRow("screenshot=") << List{"--screenshot=x.png", "a.eml"} << true << false
                               << QByteArray("a.eml");
  QTest::newRow("a file that begins like it")
      << List{"--", "--screenshots.eml"} << false << false << QByteArray("--screenshots.eml");
  QTest::newRow("a longer option") << List{"--screenshots"} << false << false << QByteArray();
  QTest::newRow("after --") << List{"--", "--screenshot", "--version"} << false << false
                            << QByteArray("--screenshot");
  QTest::newRow("version") << List{"--version"} << false << true << QByteArray();
  QTest::newRow("-h") << List{"-h"} << false << true << QByteArray();
  QTest::newRow("same text, other bytes")
      << List{"--screenshot", "\xff.png", "\xfe.png"} << true << false << QByteArray("\xfe.png");
}

void ConverterDialogTest::commandLineOptionsAreMatchedExactly() {
  QFETCH(QList<QByteArray>, arguments);
  QFETCH(bool, screenshot);
  QFETCH(bool, information);
  QFETCH(QByteArray, source);
  arguments.prepend("korvani-gui");
  QCOMPARE(asksForScreenshot(arguments), screenshot);
  QCOMPARE(asksForInformation(arguments), information);
  if (arguments.contains("--screenshots")) return;  // an unknown option: no parse to read
  QCOMPARE(parseCommandLine(arguments).initialSourceBytes, source);
}

void ConverterDialogTest::helpAndVersionNeedNoDisplay() {
  const auto run = [](const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KORVANI_GUI_BINARY), arguments);
    [&] { QVERIFY(process.waitForFinished(10000)); }();
    return std::pair(process.exitCode(), process.readAllStandardOutput());
  };
  QCOMPARE(run({"--version"}), std::pair(0, QByteArray("korvani-gui " KORVANI_VERSION "\n")));
  const auto [status, help] = run({"--help"});
  QCOMPARE(status, 0);
  QVERIFY(help.contains("--screenshot <file>"));
}

void ConverterDialogTest::startupFailuresReachADesktopUser() {
  for (const bool onTerminal : {true, false}) {
    testing::ScriptedDialogServices services;
    reportStartupFailure(services, QStringLiteral("Unknown option 'x'."), onTerminal);
    QCOMPARE(services.messages.size(), std::size_t{onTerminal ? 0u : 1u});
    if (!onTerminal) QCOMPARE(services.messages[0].caption, QStringLiteral("Korvani"));
  }
}

void ConverterDialogTest::qtDialogsSpeakTheUsersLanguage() {
  QVERIFY(!installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::C)));
  QVERIFY(installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Japanese)));
  auto* translator = QCoreApplication::instance()->findChild<QTranslator*>();
  QFileDialog save;
  save.setOption(QFileDialog::DontUseNativeDialog);
  configureSaveDialog(save, QString(), QString(), QString());
  const QString title = save.windowTitle();
  const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
  QCoreApplication::removeTranslator(translator);
  delete translator;
  QCOMPARE(title, QStringLiteral("名前を付けて保存"));
  QCOMPARE(cancel, QStringLiteral("キャンセル"));
}

void ConverterDialogTest::messageBoxesShowPlainTextWithTheirCaption() {
  QMessageBox box;
  const QString text = QStringLiteral("出力ファイルオープンＮＧ\n/tmp/<b>x</b>: Permission denied");
  configureMessageBox(box, QStringLiteral("エラー"), text, QMessageBox::Warning);
  QCOMPARE(box.windowTitle(), QStringLiteral("エラー"));
  QCOMPARE(box.text(), text);
  QCOMPARE(box.textFormat(), Qt::PlainText);
  QCOMPARE(box.icon(), QMessageBox::Warning);
  QCOMPARE(box.standardButtons(), QMessageBox::Ok);
}

void ConverterDialogTest::layoutFitsEveryCaptionInEitherFont_data() {
  QTest::addColumn<QString>("family");  // empty: the default dialog font
  QTest::addColumn<QSize>("size");      // empty: not fixed
  QTest::newRow("IPAPGothic") << "IPAPGothic" << QSize(464, 332);
  // Its Latin letters are as wide as IPAPGothic's but its captions wider: the horizontal unit
  // grows for Binaryエンコード. Its lines are taller, and so is the dialog.
  QTest::newRow("Noto Sans CJK JP") << "Noto Sans CJK JP" << QSize(489, 434);
  QTest::newRow("the default") << QString() << QSize();
}

void ConverterDialogTest::layoutFitsEveryCaptionInEitherFont() {
  QFETCH(QString, family);
  QFETCH(QSize, size);
  QFont font = ConverterDialog::defaultDialogFont();
  if (!family.isEmpty()) {
    if (!fontFamilyResolves(family)) QSKIP("the font is not installed");
    font.setFamilies({family});
  }
  korvani::PosixPlatform platform;
  testing::ScriptedDialogServices services;
  ConverterDialog dialog(platform, services, font);
  dialog.show();
  const QFontInfo info(dialog.font());
  // The family as the font matcher names it, in the user's language.
  QVERIFY2(family.isEmpty() || info.family() == QFontInfo(QFont(family)).family(),
           qPrintable(info.family()));
  // The default is IPAPGothic or, without it, a Japanese font: never one without kana.
  QVERIFY2(QFontMetrics(dialog.font()).inFontUcs4(U'エ'), qPrintable(info.family()));
  QCOMPARE(dialog.dialogUnits().baseUnits(), DialogUnits(QFontMetricsF(dialog.font())).baseUnits());
  if (size.isValid()) QCOMPARE(dialog.size(), size);

  // Each caption has its room, inside its group box and clear of its neighbours.
  const QRect client = dialog.rect();
  QRect groupBox;
  QList<QRect> row;
  for (const ControlRow& controlRow : controlTable()) {
    if (controlRow.id == -1) {
      groupBox = dialog.dialogUnits().toPixels(controlRow.rect);
      row.clear();
      continue;
    }
    QWidget* widget = dialog.control(controlRow.id);
    QVERIFY2(client.contains(widget->geometry()), controlRow.caption);
    QVERIFY2(widget->width() >= widget->sizeHint().width() || !qobject_cast<QRadioButton*>(widget),
             controlRow.caption);
    if (qobject_cast<QRadioButton*>(widget)) {
      QVERIFY2(groupBox.contains(widget->geometry()), controlRow.caption);
      for (const QRect& other : row)
        QVERIFY2(!other.intersects(widget->geometry()), controlRow.caption);
      row.append(widget->geometry());
    }
  }
}

namespace {

// The real disk, as seen at the moment the source is read: whether the wait cursor shows and
// how often the dialog it filters events of has painted. Reports the source `reportedSize` long.
// The real platform, watched: what the screen showed when the source was read.
class WatchedPlatform : public QObject, public korvani::PosixPlatform {
 public:
  std::uint64_t reportedSize = 0;
  int paints = 0;
  bool waitCursorAtRead = false;
  int paintsAtRead = -1;

  std::unique_ptr<korvani::ReadableFile> openForReading(const std::string& path,
                                                        korvani::ShareMode mode,
                                                        int* errorNumber) override {
    waitCursorAtRead = testing::ScriptedDialogServices::waitCursorShows();
    paintsAtRead = paints;
    return PosixPlatform::openForReading(path, mode, errorNumber);
  }
  bool readStatus(const std::string& path, korvani::FileStatus& status) override {
    if (!PosixPlatform::readStatus(path, status)) return false;
    if (reportedSize != 0) status.size = reportedSize;
    return true;
  }
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint;
    return false;
  }
};

}  // namespace

void ConverterDialogTest::conversionShowsTheWaitCursorWhileItWorks_data() {
  QTest::addColumn<quint64>("size");
  QTest::addColumn<bool>("paintsFirst");
  QTest::newRow("small source") << quint64{0} << false;
  QTest::newRow("at the limit") << quint64{ConverterDialog::kRepaintBeforeBytes} << false;
  QTest::newRow("over 50 MB") << quint64{ConverterDialog::kRepaintBeforeBytes + 1} << true;
}

void ConverterDialogTest::conversionShowsTheWaitCursorWhileItWorks() {
  QFETCH(quint64, size);
  QFETCH(bool, paintsFirst);
  QTemporaryDir folder;
  writeAll(folder.filePath("in.bin"), "data");
  testing::ScriptedDialogServices services;
  WatchedPlatform platform;
  platform.reportedSize = size;
  ConverterDialog dialog(platform, services);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  dialog.installEventFilter(&platform);
  dialog.setInitialSource(folder.filePath("in.bin"));
  QTest::mouseClick(dialog.control(control::kBinaryEncode), Qt::LeftButton);
  services.saveAnswer = folder.filePath("out.eml");
  dialog.update();  // a paint is pending when Convert starts
  platform.paints = 0;
  QCOMPARE(dialog.convert(), ConvertOutcome::Converted);

  QVERIFY(platform.waitCursorAtRead);
  QCOMPARE(platform.paintsAtRead > 0, paintsFirst);
  QCOMPARE(services.saveRequests.size(), std::size_t{1});
  QVERIFY(!services.saveRequests[0].waitCursor);
  QVERIFY(!testing::ScriptedDialogServices::waitCursorShows());
}

void ConverterDialogTest::fileDialogsStartInTheSourcesFolder() {
  QTemporaryDir folder;
  writeAll(folder.filePath("in.bin"), "data");
  Fixture fixture;
  fixture.click(control::kBrowse);  // no source: the folder last used
  QCOMPARE(fixture.services.openRequests.back().startFolder, QString());
  QCOMPARE(fixture.encode(folder.filePath("in.bin"), folder.filePath("out.eml")),
           ConvertOutcome::Converted);
  QCOMPARE(fixture.services.saveRequests[0].startFolder, folder.path());
  fixture.click(control::kBrowse);
  QCOMPARE(fixture.services.openRequests.back().startFolder, folder.path());
  fixture.dialog.setInitialSource(folder.filePath("gone/in.bin"));
  fixture.click(control::kBrowse);  // a folder that is not there: the folder last used
  QCOMPARE(fixture.services.openRequests.back().startFolder, QString());

  // The desktop's dialogs: the folder given, else the one last confirmed in the Open dialog.
  QFileDialog save;
  save.setOption(QFileDialog::DontUseNativeDialog);
  configureSaveDialog(save, folder.path(), QString(), QString());
  QCOMPARE(save.directory().absolutePath(), folder.path());
  QTemporaryDir other;
  rememberOpenFolder(other.filePath("mail.eml"));
  QCOMPARE(lastOpenFolder(), other.path());
  for (const QString& start : {QString(), folder.path()}) {
    QFileDialog open;
    open.setOption(QFileDialog::DontUseNativeDialog);
    configureOpenDialog(open, start);
    QCOMPARE(open.directory().absolutePath(), start.isEmpty() ? other.path() : start);
  }
}

void ConverterDialogTest::everyControlHasAnAccessibleName() {
  Fixture fixture;
  const QList<QGroupBox*> groupBoxes = fixture.dialog.findChildren<QGroupBox*>();
  qsizetype groupBoxIndex = 0;
  for (const ControlRow& row : controlTable()) {
    QWidget* widget = row.id == -1 ? groupBoxes.value(groupBoxIndex++) : fixture.at(row.id);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    const QString expected = row.kind == ControlKind::Edit ? QStringLiteral("変換元ファイル")
                                                           : QString::fromUtf8(row.caption);
    QCOMPARE(accessible->text(QAccessible::Name), expected);
  }
}

QTEST_MAIN(ConverterDialogTest)
#include "converter_dialog_test.moc"
