// How long the mail window takes to be ready to paint a small mail, beside the classic dialog
// started in the same process; or how long it takes to show one given mail.
//
//   korvani_mail_window_start [RUNS]
//   korvani_mail_window_start --mail FILE
//       Prints the seconds from the window's creation (the application already up) until it
//       has read FILE on its worker thread, shown it and painted itself once, for
//       bench/hostile.sh; the problem line the window shows, if any, goes to standard error.
//       Exits 0 when the window could read FILE at all, 1 when not.
//
// Offscreen unless QT_QPA_PLATFORM says otherwise. "Cold" is the first window of the process,
// counted from before the application object is made (fonts, styles and the MIME library come
// up then); "warm" is the median of the later ones. Ready means the mail has been read on the
// worker thread, shown, and the window laid out.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gui/converter_dialog.h"
#include "gui/dialog_services.h"
#include "gui/mail_window.h"
#include "gui/mail_window_services.h"
#include "mail/mail_engine.h"
#include "platform/posix_platform.h"

namespace {

// A mail of exactly 1 KiB: a Japanese subject, a quoted-printable text part, padding text.
QByteArray smallMail() {
  QByteArray mail =
      "From: =?UTF-8?B?6Yi05pyoIOS4gOmDjg==?= <suzuki@example.jp>\n"
      "To: sato@example.com\n"
      "Date: Tue, 4 Jun 2024 16:42:10 +0900\n"
      "Subject: =?UTF-8?B?5YWt5pyI44Gu6LO85YWl5LiA6Kan?=\n"
      "MIME-Version: 1.0\n"
      "Content-Type: text/plain; charset=UTF-8\n"
      "Content-Transfer-Encoding: quoted-printable\n\n"
      "=E4=BD=90=E8=97=A4=E6=A7=98\n\n";
  while (mail.size() < 1023) mail += "x";
  mail.truncate(1023);
  return mail + "\n";
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double milliseconds(const QElapsedTimer& timer) { return timer.nsecsElapsed() / 1e6; }

// The --mail mode: one window, one mail, one paint; ends the process.
[[noreturn]] void timeFirstPaint(korvani::Platform& platform,
                                 korvani::gui::MailWindowServices& services, const char* path) {
  QElapsedTimer timer;
  timer.start();
  korvani::gui::MailWindow mailWindow(platform, services);
  mailWindow.setAttribute(Qt::WA_DontShowOnScreen);
  QEventLoop untilShown;
  QObject::connect(&mailWindow, &korvani::gui::MailWindow::mailShown, &untilShown,
                   &QEventLoop::quit);
  mailWindow.show();
  mailWindow.openMail(QByteArray(path));
  untilShown.exec();
  QApplication::processEvents();
  // Not shown on a screen, the window is never exposed: grab() paints every widget once, as the
  // first expose would, text layout included.
  const QPixmap picture = mailWindow.grab();
  std::printf("%.3f\n", timer.nsecsElapsed() / 1e9);
  if (!mailWindow.problem().empty()) std::fprintf(stderr, "%s\n", mailWindow.problem().c_str());
  std::fflush(nullptr);
  // The figure is out. Leave without tearing the window down: for a huge mail that takes long
  // and is no part of the first paint.
  std::_Exit(mailWindow.fileReadable() && !picture.isNull() ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
  const char* mailPath = argc == 3 && std::strcmp(argv[1], "--mail") == 0 ? argv[2] : nullptr;
  const int runs = argc > 1 ? std::max(2, std::atoi(argv[1])) : 30;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QElapsedTimer timer;
  timer.start();
  QApplication app(argc, argv);
  korvani::mail::MailLibrary library;
  korvani::PosixPlatform platform;
  korvani::gui::QtMailWindowServices windowServices;
  korvani::gui::QtDialogServices dialogServices;
  if (mailPath != nullptr) timeFirstPaint(platform, windowServices, mailPath);

  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("small.eml"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(smallMail()) != 1024) return 1;
  file.close();

  std::vector<double> window;
  std::vector<double> dialog;
  for (int run = 0; run < runs; ++run) {
    if (run > 0) timer.restart();
    korvani::gui::MailWindow mailWindow(platform, windowServices);
    mailWindow.setAttribute(Qt::WA_DontShowOnScreen);
    QEventLoop untilShown;
    QObject::connect(&mailWindow, &korvani::gui::MailWindow::mailShown, &untilShown,
                     &QEventLoop::quit);
    mailWindow.show();
    mailWindow.openMail(QFile::encodeName(path));
    untilShown.exec();
    QApplication::processEvents();
    window.push_back(milliseconds(timer));

    timer.restart();
    korvani::gui::ConverterDialog converter(platform, dialogServices);
    converter.setAttribute(Qt::WA_DontShowOnScreen);
    converter.show();
    QApplication::processEvents();
    dialog.push_back(milliseconds(timer));
  }
  const double cold = window.front();
  window.erase(window.begin());
  dialog.erase(dialog.begin());
  std::printf("mail window, 1 KiB mail: cold %.1f ms, warm median %.1f ms (%d runs)\n", cold,
              median(window), runs - 1);
  std::printf("classic dialog:          warm median %.1f ms; mail window / dialog %.2f\n",
              median(dialog), median(window) / median(dialog));
  return 0;
}
