#include "app/window/open_file_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace halvaro::app {

QStringList name_filters_from_pairs(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    // Qt reads the patterns from the last parenthesised group; the dialog hides that
    // group (HideNameFilterDetails), so the user sees the description unchanged.
    const QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
    filters << parts[i] + " (" + patterns + ")";
  }
  return filters;
}

OpenFileDialog::OpenFileDialog(QWidget* parent, ShowModal show_modal)
    : dialog_(new QFileDialog(parent)), show_modal_(std::move(show_modal)) {
  dialog_->setObjectName("CD");
  dialog_->setAcceptMode(QFileDialog::AcceptOpen);
  dialog_->setFileMode(QFileDialog::ExistingFile);
  // Qt's own dialog on every platform: it honours the hidden filter details and
  // matches name patterns without regard to case.
  dialog_->setOption(QFileDialog::DontUseNativeDialog);
  dialog_->setOption(QFileDialog::HideNameFilterDetails);
  dialog_->setFilter(dialog_->filter() & ~QDir::CaseSensitive);
}

void OpenFileDialog::set_filter(const QString& filter) {
  dialog_->setNameFilters(name_filters_from_pairs(filter));
}

bool OpenFileDialog::show_open() {
  if (!file_name_.isEmpty()) dialog_->selectFile(file_name_);
  if (show_modal_(*dialog_) != QDialog::Accepted) return false;
  const QStringList chosen = dialog_->selectedFiles();
  if (chosen.isEmpty()) return false;
  file_name_ = QDir::toNativeSeparators(chosen.first());
  return true;
}

}  // namespace halvaro::app
