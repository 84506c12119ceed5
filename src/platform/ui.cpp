#include "platform/ui.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/error.h"

namespace hv {
namespace {

UserInteraction* g_interaction = nullptr;
QString g_title = QStringLiteral("Hygrovan-RX3");
QString g_documentName;

// "Базы данных|*.db|Все|*.*" -> "Базы данных (*.db);;Все (*.*)"
QString qtFilter(const QString& filter) {
  const QStringList parts = filter.split(QChar('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QChar(';'), QChar(' ')));
  return out.join(QStringLiteral(";;"));
}

// Room for Qt's file dialog to show its columns whole (Russian captions are
// longer than the English ones its defaults were measured on).
constexpr QSize kFileDialogSize(900, 540);

// Widens the places list and the detail columns (size, type, date) to their
// texts; the name column takes the width that is left.
void fitFileDialogColumns(QFileDialog& dialog) {
  auto* places = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
  auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
  if (places && splitter && splitter->count() == 2) {
    QList<int> sizes = splitter->sizes();
    const int need = places->sizeHintForColumn(0) + 2 * places->frameWidth() + 8;
    if (sizes[0] < need && sizes[1] > need) {
      sizes[1] -= need - sizes[0];
      sizes[0] = need;
      splitter->setSizes(sizes);
    }
  }
  if (auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    const QAbstractItemView* items = tree;  // where the content measure is public
    QHeaderView* header = tree->header();
    int others = 0;
    for (int c = 1; c < header->count(); ++c) {
      if (header->isSectionHidden(c)) continue;
      const int need = std::max(header->sectionSizeHint(c), items->sizeHintForColumn(c));
      if (header->sectionSize(c) < need) header->resizeSection(c, need);
      others += header->sectionSize(c);
    }
    header->resizeSection(0, std::max(header->sectionSizeHint(0), tree->viewport()->width() - others));
  }
}

// Qt's own file dialog (the native one ignores this) sized to show its
// columns, refitted whenever a folder's entries have been read.
void fitFileDialog(QFileDialog& dialog) {
  QSize size = dialog.sizeHint().expandedTo(kFileDialogSize);
  const QWidget* parent = dialog.parentWidget();
  if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  dialog.resize(size);
  if (auto* model = dialog.findChild<QFileSystemModel*>()) {
    QObject::connect(model, &QFileSystemModel::directoryLoaded, &dialog, [&dialog] {
      // The view takes the new rows after this signal; measure them afterwards.
      QTimer::singleShot(0, &dialog, [&dialog] { fitFileDialogColumns(dialog); });
    });
  }
  QTimer::singleShot(0, &dialog, [&dialog] { fitFileDialogColumns(dialog); });
}

// Qt takes "No" for Escape and the close button of a Yes/No box. Here a box
// put away unanswered counts as no answer at all: "No" may throw changes away.
class MessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;
  void setAnswerRequired(bool on) { answerRequired_ = on; }
  bool dismissed() const { return dismissed_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (answerRequired_ && e->matches(QKeySequence::Cancel)) {
      dismiss();
      return;
    }
    QMessageBox::keyPressEvent(e);
  }
  void closeEvent(QCloseEvent* e) override {
    if (!answerRequired_ || clickedButton()) {
      QMessageBox::closeEvent(e);
      return;
    }
    dismissed_ = true;
    QDialog::closeEvent(e);
  }

 private:
  void dismiss() {
    dismissed_ = true;
    reject();
  }
  bool answerRequired_ = false;
  bool dismissed_ = false;
};

}  // namespace

UserInteraction& ui() {
  static QtUserInteraction real;
  return g_interaction ? *g_interaction : real;
}

void setUserInteraction(UserInteraction* interaction) { g_interaction = interaction; }

QString applicationTitle() { return g_title; }
void setApplicationTitle(const QString& title) { g_title = title; }
QString documentName() { return g_documentName; }
void setDocumentName(const QString& name) { g_documentName = name; }
QString proposedFileName(const QString& extension, const QString& fallback) {
  return g_documentName.isEmpty() ? fallback : g_documentName + extension;
}

void showDefaultErrorReport(const QString& text) {
  ui().message(nullptr, applicationTitle(), defaultErrorReportText(text), MsgIcon::Error, MsgButtons::Ok);
}

bool runCommand(const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const Error& e) {
    showDefaultErrorReport(e.text());
  } catch (const std::exception& e) {
    showDefaultErrorReport(QString::fromLocal8Bit(e.what()));
  }
  return false;
}

QString withDefaultExtension(const QString& fileName, const QString& defaultExt) {
  if (fileName.isEmpty() || defaultExt.isEmpty()) return fileName;
  if (!QFileInfo(fileName).suffix().isEmpty()) return fileName;
  return defaultExt.startsWith(QChar('.')) ? fileName + defaultExt : fileName + QChar('.') + defaultExt;
}

MsgResult QtUserInteraction::message(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                                     MsgButtons buttons) {
  MessageBox box(parent);
  box.setWindowTitle(caption);
  box.setText(text);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // a path or an error can be copied
  switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  switch (buttons) {
    case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
  }
  box.setAnswerRequired(buttons == MsgButtons::YesNo);
  const int answer = box.exec();
  if (box.dismissed()) return MsgResult::Cancel;
  switch (answer) {
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    default: return MsgResult::Ok;
  }
}

QString QtUserInteraction::openFileName(QWidget* parent, const FileDialogRequest& r) {
  QFileDialog dialog(parent, r.caption, r.initialDir, qtFilter(r.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
  fitFileDialog(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString QtUserInteraction::saveFileName(QWidget* parent, const FileDialogRequest& r) {
  QFileDialog dialog(parent, r.caption, r.initialDir, qtFilter(r.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (!r.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QString ext = r.defaultExt;
  if (ext.startsWith(QChar('.'))) ext.remove(0, 1);
  dialog.setDefaultSuffix(ext);
  if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
  fitFileDialog(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

std::optional<QColor> QtUserInteraction::chooseColor(QWidget* parent, const QColor& initial) {
  const QColor c = QColorDialog::getColor(initial, parent);
  if (!c.isValid()) return std::nullopt;
  return c;
}

std::optional<CsvExportOptions> QtUserInteraction::csvExportOptions(QWidget* parent, const CsvExportOptions& initial) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Экспорт в CSV"));
  auto* layout = new QVBoxLayout(&dialog);

  auto* archives = new QGroupBox(QStringLiteral("Архивы"), &dialog);
  auto* onView = new QRadioButton(QStringLiteral("Архив на экране (%1)").arg(initial.archiveOnView), archives);
  auto* all = new QRadioButton(QStringLiteral("Все три архива, по файлу на архив"), archives);
  onView->setObjectName(QStringLiteral("csvArchiveOnView"));
  all->setObjectName(QStringLiteral("csvAllArchives"));
  (initial.allArchives ? all : onView)->setChecked(true);
  auto* archivesLayout = new QVBoxLayout(archives);
  archivesLayout->addWidget(onView);
  archivesLayout->addWidget(all);
  layout->addWidget(archives);

  auto* form = new QGroupBox(QStringLiteral("Формат"), &dialog);
  auto* excel = new QRadioButton(QStringLiteral("Для Excel"), form);
  auto* analysis = new QRadioButton(QStringLiteral("Для программ анализа"), form);
  excel->setObjectName(QStringLiteral("csvPresetExcel"));
  analysis->setObjectName(QStringLiteral("csvPresetAnalysis"));
  excel->setToolTip(QStringLiteral("Поля через «;», десятичная запятая, UTF-8 с меткой порядка байтов, строки CRLF"));
  analysis->setToolTip(QStringLiteral("Поля через «,», десятичная точка, UTF-8 без метки, строки LF"));
  (initial.preset == CsvPreset::Analysis ? analysis : excel)->setChecked(true);
  auto* formLayout = new QVBoxLayout(form);
  formLayout->addWidget(excel);
  formLayout->addWidget(new QLabel(excel->toolTip(), form));
  formLayout->addWidget(analysis);
  formLayout->addWidget(new QLabel(analysis->toolTip(), form));
  layout->addWidget(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  CsvExportOptions chosen = initial;
  chosen.allArchives = all->isChecked();
  chosen.preset = analysis->isChecked() ? CsvPreset::Analysis : CsvPreset::Excel;
  return chosen;
}

QStringList QtUserInteraction::printerNames() {
  QStringList names = QPrinterInfo::availablePrinterNames();
  const QString def = QPrinterInfo::defaultPrinterName();
  if (!def.isEmpty() && names.removeAll(def) > 0) names.prepend(def);
  return names;
}

}  // namespace hv
