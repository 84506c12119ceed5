#include "graphs/curve_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "platform/regional.h"
#include "platform/ui.h"
#include "views/selection_stats.h"

namespace hv {

namespace {
QString moistureText(double v) {
  return formatStatNumber(v, decimalSeparator());
}
}  // namespace

CurveDialog::CurveDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CurveDialog"));
  setWindowTitle(QStringLiteral("Построение графиков"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(253, 328);

  curveBox_ = new QGroupBox(QStringLiteral("Выберете графики"), this);
  curveBox_->setGeometry(8, 8, 237, 121);
  wBox_ = new QCheckBox(curveCaption(Curve::W), curveBox_);
  wMinBox_ = new QCheckBox(curveCaption(Curve::WMin), curveBox_);
  wMaxBox_ = new QCheckBox(curveCaption(Curve::WMax), curveBox_);
  int top = 26;
  for (QCheckBox* box : {wBox_, wMinBox_, wMaxBox_}) {
    box->setGeometry(16, top, 200, 22);
    top += 30;
    box->setChecked(false);
    connect(box, &QCheckBox::toggled, this, [this] { updateBuildButton(); });
  }
  wBox_->setObjectName(QStringLiteral("wBox"));
  wMinBox_->setObjectName(QStringLiteral("wMinBox"));
  wMaxBox_->setObjectName(QStringLiteral("wMaxBox"));

  // What may be drawn besides the curves.
  auto* targetLabel = new QLabel(QStringLiteral("Целевая влажность, %:"), this);
  targetLabel->setGeometry(16, 140, 150, 22);
  targetEdit_ = new QLineEdit(this);
  targetEdit_->setObjectName(QStringLiteral("targetEdit"));
  targetEdit_->setGeometry(170, 140, 67, 22);
  targetLabel->setBuddy(targetEdit_);
  // The lot norms' limits, offered as the target.
  normBox_ = new QComboBox(this);
  normBox_->setObjectName(QStringLiteral("normBox"));
  normBox_->setGeometry(16, 168, 221, 24);
  connect(normBox_, &QComboBox::activated, this, [this](int i) {
    if (i > 0 && i <= normTargets_.size()) targetEdit_->setText(moistureText(normTargets_[i - 1].value));
  });
  setNormTargets({});

  forecastBox_ = new QCheckBox(QStringLiteral("Прогноз высыхания"), this);
  forecastBox_->setObjectName(QStringLiteral("forecastBox"));
  forecastBox_->setGeometry(16, 198, 150, 22);
  auto* equilibriumLabel = new QLabel(QStringLiteral("Равновесная Me, %:"), this);
  equilibriumLabel->setGeometry(36, 226, 134, 22);
  equilibriumEdit_ = new QLineEdit(QStringLiteral("0"), this);
  equilibriumEdit_->setObjectName(QStringLiteral("equilibriumEdit"));
  equilibriumEdit_->setGeometry(170, 226, 67, 22);
  equilibriumLabel->setBuddy(equilibriumEdit_);
  byMaterialBox_ = new QCheckBox(QStringLiteral("По материалам"), this);
  byMaterialBox_->setObjectName(QStringLiteral("byMaterialBox"));
  byMaterialBox_->setGeometry(16, 256, 200, 22);
  connect(forecastBox_, &QCheckBox::toggled, equilibriumEdit_, &QWidget::setEnabled);
  connect(forecastBox_, &QCheckBox::toggled, equilibriumLabel, &QWidget::setEnabled);
  equilibriumEdit_->setEnabled(false);
  equilibriumLabel->setEnabled(false);
  connect(forecastBox_, &QCheckBox::toggled, this, [this] { updateBuildButton(); });
  for (QLineEdit* edit : {targetEdit_, equilibriumEdit_})
    connect(edit, &QLineEdit::textChanged, this, [this] { updateBuildButton(); });

  buildButton_ = new QPushButton(QStringLiteral("Построить"), this);
  buildButton_->setObjectName(QStringLiteral("buildButton"));
  buildButton_->setGeometry(width() - 8 - 91, height() - 8 - 25, 91, 25);
  buildButton_->setDefault(true);
  connect(buildButton_, &QPushButton::clicked, this, [this] { build(); });
  updateBuildButton();
}

CurveChoice CurveDialog::curves() const {
  return {wBox_->isChecked(), wMinBox_->isChecked(), wMaxBox_->isChecked()};
}

ChartOptions CurveDialog::options() const {
  ChartOptions o;
  o.target = parseMoistureInput(targetEdit_->text());
  o.forecast = forecastBox_->isChecked();
  o.equilibrium = parseMoistureInput(equilibriumEdit_->text()).value_or(0);
  o.byMaterial = byMaterialBox_->isChecked();
  return o;
}

void CurveDialog::setOptions(const ChartOptions& options) {
  targetEdit_->setText(options.target ? moistureText(*options.target) : QString());
  forecastBox_->setChecked(options.forecast);
  equilibriumEdit_->setText(moistureText(options.equilibrium));
  byMaterialBox_->setChecked(options.byMaterial);
}

void CurveDialog::setNormTargets(const QList<NormTarget>& targets) {
  normTargets_ = targets;
  normBox_->clear();
  normBox_->addItem(targets.isEmpty() ? QStringLiteral("Норм партии нет") : QStringLiteral("Цель из нормы партии…"));
  for (const NormTarget& t : targets) normBox_->addItem(t.caption);
  normBox_->setEnabled(!targets.isEmpty());
}

void CurveDialog::reject() {
  done(mrCancel);
}

namespace {
// An empty field is no value; anything else must be a moisture.
bool readable(const QLineEdit* edit) {
  return edit->text().trimmed().isEmpty() || parseMoistureInput(edit->text());
}
}  // namespace

bool CurveDialog::acceptable() const {
  if (!curves().any() || !readable(targetEdit_)) return false;
  return !forecastBox_->isChecked() || (options().target && readable(equilibriumEdit_));
}

void CurveDialog::updateBuildButton() {
  buildButton_->setEnabled(acceptable());
}

void CurveDialog::build() {
  done(acceptable() ? mrOk : mrCancel);
}

void CurveDialog::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    updateBuildButton();
  }
  QDialog::showEvent(event);
}

}  // namespace hv
