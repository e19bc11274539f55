#include "gui/converter_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <algorithm>

#include "gui/message_box_sink.h"
#include "gui/save_as_chooser.h"

namespace korvani::gui {
namespace {

// The first local file among the dropped items; empty when there is none.
QString firstLocalFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return QString();
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return QString();
}

QButtonGroup* groupOf(QWidget* radio) { return static_cast<QAbstractButton*>(radio)->group(); }

}  // namespace

ConverterDialog::ConverterDialog(Platform& platform, DialogServices& services, QWidget* parent)
    : QDialog(parent), platform(platform), services(services) {
  // A window of its own (with its own taskbar entry) that can be moved, minimised and closed,
  // but not resized: the controls sit at fixed places.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromUtf8(kDialogCaption));
  setFont(dialogFont(QApplication::font()));
  setAcceptDrops(true);
  buildControls();
  connectControls();
  refresh();
}

void ConverterDialog::buildControls() {
  const DialogUnits units{QFontMetricsF(font(), this)};
  setFixedSize(units.toPixels(kDialogSize).size());

  QWidget* previousInTabOrder = nullptr;
  QButtonGroup* group = nullptr;
  int value = 0;
  for (const ControlRow& row : controlTable()) {
    const QString caption = tr(row.caption);
    QWidget* widget = nullptr;
    switch (row.kind) {
      case ControlKind::GroupBox:
        widget = new QGroupBox(caption, this);
        break;
      case ControlKind::Edit:
        widget = sourceEdit = new QLineEdit(this);
        // A file dropped on the field sets the source like one dropped anywhere else, rather
        // than inserting its URL as text.
        sourceEdit->setAcceptDrops(false);
        break;
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton:
        widget = new QPushButton(caption, this);
        break;
      case ControlKind::FirstRadioOfGroup:
        group = new QButtonGroup(this);
        value = 0;
        [[fallthrough]];
      case ControlKind::Radio: {
        auto* radio = new QRadioButton(caption, this);
        group->addButton(radio, value++);
        widget = radio;
        break;
      }
    }
    widget->setGeometry(units.toPixels(row.rect));
    if (row.id != -1) controls.insert(row.id, widget);
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previousInTabOrder) setTabOrder(previousInTabOrder, widget);
      previousInTabOrder = widget;
    }
  }
  widenRadiosToTheirCaptions(units);
  modeGroup = groupOf(control(control::kBinaryDecode));
  encodingGroup = groupOf(control(control::kEncodingAuto));
  charsetGroup = groupOf(control(control::kCharsetAuto));
  // Enter anywhere but on a button is the Exit command, so Exit is the default button (a button
  // with the focus takes Enter for itself).
  static_cast<QPushButton*>(control(control::kExit))->setDefault(true);
  sourceEdit->setFocus();
}

void ConverterDialog::widenRadiosToTheirCaptions(const DialogUnits& units) {
  // The desktop's radio indicators are wider than those the rectangles were drawn for, which
  // would cut off the end of the longer captions. A radio whose caption needs more room gets
  // it, up to the next radio in its row or, for the last one, its group box's edge.
  const std::span<const ControlRow> rows = controlTable();
  int rowEnd = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const QRect rect = units.toPixels(rows[i].rect);
    if (rows[i].kind == ControlKind::GroupBox) rowEnd = rect.right();
    if (rows[i].kind != ControlKind::Radio && rows[i].kind != ControlKind::FirstRadioOfGroup) {
      continue;
    }
    const bool nextInRow = i + 1 < rows.size() && rows[i + 1].kind == ControlKind::Radio;
    const int limit = nextInRow ? units.toPixels(rows[i + 1].rect).left() : rowEnd;
    QWidget* radio = control(rows[i].id);
    const int wanted = std::max(rect.width(), radio->sizeHint().width());
    radio->resize(std::min(wanted, limit - rect.left()), rect.height());
  }
}

void ConverterDialog::connectControls() {
  connect(sourceEdit, &QLineEdit::textChanged, this, &ConverterDialog::onSourceEdited);
  connect(static_cast<QPushButton*>(control(control::kBrowse)), &QPushButton::clicked, this,
          &ConverterDialog::browse);
  connect(static_cast<QPushButton*>(control(control::kConvert)), &QPushButton::clicked, this,
          [this] { convert(); });
  connect(static_cast<QPushButton*>(control(control::kExit)), &QPushButton::clicked, this,
          &QDialog::accept);
  connect(modeGroup, &QButtonGroup::idClicked, this,
          [this](int id) { selectMode(static_cast<ConvertMode>(id)); });
  connect(encodingGroup, &QButtonGroup::idClicked, this,
          [this](int id) { state.encodingOption = static_cast<TextEncoding>(id); });
  connect(charsetGroup, &QButtonGroup::idClicked, this,
          [this](int id) { state.charsetOption = static_cast<TextCharset>(id); });
}

void ConverterDialog::setInitialSource(const QString& path) {
  if (!path.isEmpty()) setSource(path);
}

void ConverterDialog::setSource(const QString& path) {
  state.sourcePath = path;
  state.hasSource = !path.isEmpty();
  refresh();
}

void ConverterDialog::onSourceEdited(const QString& text) {
  state.sourcePath = text;
  state.hasSource = !text.isEmpty();
}

void ConverterDialog::selectMode(ConvertMode mode) {
  state.mode = mode;
  // Text decode needs an explicit encoding and character set; leaving it keeps them.
  if (mode == ConvertMode::TextDecode) {
    if (state.encodingOption == TextEncoding::Auto) {
      state.encodingOption = TextEncoding::QuotedPrintable;
    }
    if (state.charsetOption == TextCharset::Auto) state.charsetOption = TextCharset::Jis;
  }
  refresh();
}

void ConverterDialog::refresh() {
  if (sourceEdit->text() != state.sourcePath) sourceEdit->setText(state.sourcePath);

  // The option radios are for the text modes only, and their automatic choices (value 0) for
  // mail decode only.
  const auto usable = [mode = state.mode](int value) {
    return value == 0 ? mode == ConvertMode::MailDecode : mode >= ConvertMode::MailDecode;
  };
  const struct {
    QButtonGroup* group;
    int checkedValue;
    bool alwaysUsable;
  } groups[] = {
      {modeGroup, static_cast<int>(state.mode), true},
      {encodingGroup, static_cast<int>(state.encodingOption), false},
      {charsetGroup, static_cast<int>(state.charsetOption), false},
  };
  for (const auto& entry : groups) {
    for (QAbstractButton* radio : entry.group->buttons()) {
      const int value = entry.group->id(radio);
      radio->setEnabled(entry.alwaysUsable || usable(value));
      radio->setChecked(value == entry.checkedValue);
    }
  }
}

ConvertOutcome ConverterDialog::convert() {
  ConversionRequest request;
  const QByteArray source = QFile::encodeName(state.sourcePath);
  request.sourcePath.assign(source.constData(), static_cast<std::size_t>(source.size()));
  request.mode = state.mode;
  request.encodingOption = state.encodingOption;
  request.charsetOption = state.charsetOption;

  MessageBoxSink sink(services, *this);
  SaveAsChooser chooser(services, *this);
  const ConvertOutcome outcome = korvani::convert(request, platform, sink, chooser);
  if (outcome == ConvertOutcome::MissingSource) sourceEdit->setFocus();
  return outcome;
}

void ConverterDialog::browse() {
  if (const std::optional<QString> path = services.openFile(this)) setSource(*path);
}

void ConverterDialog::keyPressEvent(QKeyEvent* event) {
  // Escape is the Convert command here, not the way out of the dialog.
  if (event->matches(QKeySequence::Cancel)) {
    convert();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ConverterDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (!firstLocalFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ConverterDialog::dropEvent(QDropEvent* event) {
  const QString path = firstLocalFile(event->mimeData());
  if (path.isEmpty()) return;
  setSource(path);
  event->acceptProposedAction();
}

}  // namespace korvani::gui
