#include "app/window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <exception>

namespace halvaro::app {

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kOuterWidthTwips = 7780;
constexpr int kOuterHeightTwips = 2230;
constexpr const char* kCaption = "Halvaro ";
constexpr const char* kTransferCaption = "Transfer Data";
constexpr const char* kFileFilter = "MS Access DB File (*.mdb)|*.MDB";
const QColor kBackground(0xE0, 0xE0, 0xE0);

// While a run reports progress, the window repaints at most this often.
constexpr qint64 kRepaintIntervalMs = 50;

// The face of the labels and buttons: MS Sans Serif where installed, else the
// platform's own sans-serif face; 8.25 point.
QFont form_font(bool bold) {
  QFont font(QFontDatabase::hasFamily("MS Sans Serif")
                 ? QString("MS Sans Serif")
                 : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.25);
  font.setBold(bold);
  return font;
}

// A path qualifies for the transfer when its last four characters are exactly
// ".mdb", letter case included; a shorter path is compared whole.
bool ends_in_mdb(const QString& path) { return path.right(4) == QLatin1String(".mdb"); }

QString progress_caption(const Progress& progress) {
  const std::string caption = progress.group + ": " + progress_count(progress);
  return QString::fromStdString(progress.work == Progress::Work::CopyingRows ? "Copying " + caption : caption);
}

}  // namespace

// Passes the run's messages to the message boxes and its progress to the window.
class MainWindow::RunSink : public MessageSink {
 public:
  explicit RunSink(MainWindow& window) : window_(window) {}
  void show(const Message& message) override {
    // The box waits for the user, so it gets the ordinary cursor.
    QApplication::restoreOverrideCursor();
    window_.message_boxes_.show(message);
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  void progress(const Progress& progress) override { window_.show_progress(progress); }
  void busy() override {
    if (since_events_.isValid() && since_events_.elapsed() < kRepaintIntervalMs) return;
    since_events_.start();
    QApplication::processEvents();
  }

 private:
  MainWindow& window_;
  QElapsedTimer since_events_;
};

MainWindow::MainWindow(TransferRunner runner, ShowModal show_modal, QWidget* parent)
    : QWidget(parent),
      Label1(new QLabel("Source File: ZELT old version File", this)),
      txt_source_file(new QLineEdit(this)),
      cmd_Source(new QPushButton("Browse", this)),
      Label2(new QLabel("Destination File: ZELT 5.1", this)),
      txt_Destination_file(new QLineEdit(this)),
      cmd_Destination(new QPushButton("Browse", this)),
      cmd_transfer_data(new QPushButton(kTransferCaption, this)),
      CD(this, show_modal),
      runner_(std::move(runner)),
      message_boxes_(this, show_modal) {
  setObjectName("frm_HLV");
  setWindowTitle(kCaption);
  setFont(form_font(false));
  QPalette colours = palette();
  colours.setColor(QPalette::Window, kBackground);
  colours.setColor(QPalette::Button, kBackground);
  setPalette(colours);
  setAutoFillBackground(true);

  Label1->setObjectName("Label1");
  txt_source_file->setObjectName("txt_source_file");
  cmd_Source->setObjectName("cmd_Source");
  Label2->setObjectName("Label2");
  txt_Destination_file->setObjectName("txt_Destination_file");
  cmd_Destination->setObjectName("cmd_Destination");
  cmd_transfer_data->setObjectName("cmd_transfer_data");
  for (QWidget* control : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                           static_cast<QWidget*>(cmd_Source), static_cast<QWidget*>(cmd_Destination),
                           static_cast<QWidget*>(cmd_transfer_data)})
    control->setFont(form_font(true));
  place_controls();

  // The text boxes come first, then the buttons from top to bottom.
  setTabOrder(txt_source_file, txt_Destination_file);
  setTabOrder(txt_Destination_file, cmd_Source);
  setTabOrder(cmd_Source, cmd_Destination);
  setTabOrder(cmd_Destination, cmd_transfer_data);
  txt_source_file->setFocus();

  CD.set_filter(kFileFilter);
  connect(cmd_Source, &QPushButton::clicked, this, [this] { browse(txt_source_file); });
  connect(cmd_Destination, &QPushButton::clicked, this, [this] { browse(txt_Destination_file); });
  connect(txt_source_file, &QLineEdit::textChanged, this, &MainWindow::apply_enabling_rule);
  connect(txt_Destination_file, &QLineEdit::textChanged, this, &MainWindow::apply_enabling_rule);
  connect(cmd_transfer_data, &QPushButton::clicked, this, &MainWindow::transfer_data);
  apply_enabling_rule();
}

QRect MainWindow::twips_rect(int left, int top, int width, int height) const {
  // Edges are converted rather than sizes, so controls whose edges line up in twips
  // still line up in pixels.
  const auto x = [this](int twips) { return qRound(twips * logicalDpiX() / double(kTwipsPerInch)); };
  const auto y = [this](int twips) { return qRound(twips * logicalDpiY() / double(kTwipsPerInch)); };
  return QRect(QPoint(x(left), y(top)), QPoint(x(left + width) - 1, y(top + height) - 1));
}

void MainWindow::place_controls() {
  Label1->setGeometry(twips_rect(90, 45, 2940, 195));
  txt_source_file->setGeometry(twips_rect(90, 315, 6150, 300));
  cmd_Source->setGeometry(twips_rect(6255, 300, 1320, 330));
  Label2->setGeometry(twips_rect(90, 690, 2280, 195));
  txt_Destination_file->setGeometry(twips_rect(90, 930, 6150, 300));
  cmd_Destination->setGeometry(twips_rect(6255, 915, 1320, 330));
  cmd_transfer_data->setGeometry(twips_rect(90, 1290, 7485, 345));
  // The widths suit MS Sans Serif; where a wider face stands in, a label grows to the
  // right (nothing else is in its row) rather than cut its caption short.
  for (QLabel* label : {Label1, Label2})
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
  fit_outer_size();
}

void MainWindow::fit_outer_size() {
  // The 7780 x 2230 twips are the outer size, frame and title bar included. The frame
  // is known only once the window manager has framed the shown window, which it
  // announces with a move; until then it counts as none.
  const QSize outer = twips_rect(0, 0, kOuterWidthTwips, kOuterHeightTwips).size();
  const QSize frame = frameGeometry().size() - geometry().size();
  if (size() + frame != outer) setFixedSize(outer - frame);
}

void MainWindow::showEvent(QShowEvent* event) {
  fit_outer_size();
  QWidget::showEvent(event);
}

void MainWindow::moveEvent(QMoveEvent* event) {
  fit_outer_size();
  QWidget::moveEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A run cannot be interrupted; the window closes once it has finished.
  if (running_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void MainWindow::browse(QLineEdit* path_box) {
  // A cancelled dialog leaves the box as it was: writing the dialog's old name into
  // it could put the other row's file there.
  if (CD.show_open()) path_box->setText(CD.file_name());
}

void MainWindow::apply_enabling_rule() {
  cmd_transfer_data->setEnabled(ends_in_mdb(txt_source_file->text()) &&
                                ends_in_mdb(txt_Destination_file->text()));
}

void MainWindow::set_input_enabled(bool enabled) {
  for (QWidget* input : {static_cast<QWidget*>(txt_source_file),
                         static_cast<QWidget*>(txt_Destination_file),
                         static_cast<QWidget*>(cmd_Source), static_cast<QWidget*>(cmd_Destination)})
    input->setEnabled(enabled);
  if (enabled)
    apply_enabling_rule();
  else
    cmd_transfer_data->setEnabled(false);
}

void MainWindow::transfer_data() {
  if (running_) return;
  running_ = true;
  set_input_enabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  since_repaint_.invalidate();
  shown_group_.clear();

  RunSink sink(*this);
  RunVerdict verdict = RunVerdict::Ran;
  try {
    verdict = runner_(sink, txt_source_file->text().toStdString(),
                      txt_Destination_file->text().toStdString());
  } catch (const std::exception& failure) {
    // Whatever escapes the run is reported, and the window stays usable.
    sink.show(Message{failure.what(), MessageStyle::Plain, {}, {}});
  }

  // Clicks and keys that arrived during the run reach the disabled controls now and
  // are dropped, instead of starting a second run once the button is enabled again.
  QApplication::processEvents();
  QApplication::restoreOverrideCursor();
  cmd_transfer_data->setText(kTransferCaption);
  set_input_enabled(true);
  running_ = false;
  if (verdict == RunVerdict::Refused)
    cmd_Source->setFocus();
  else if (cmd_transfer_data->isEnabled())
    cmd_transfer_data->setFocus();
}

void MainWindow::show_progress(const Progress& progress) {
  cmd_transfer_data->setText(progress_caption(progress));
  const bool new_group = progress.group != shown_group_;
  const bool group_done = progress.total > 0 && progress.done >= progress.total;
  if (!new_group && !group_done && since_repaint_.isValid() &&
      since_repaint_.elapsed() < kRepaintIntervalMs)
    return;
  shown_group_ = progress.group;
  since_repaint_.start();
  // The run holds the user-interface thread; this keeps the window painted. Input
  // reaches only disabled controls meanwhile.
  QApplication::processEvents();
}

}  // namespace halvaro::app
