#include "device/materials.h"

namespace hv {

const QStringList& WoodStandardMaterials() {
  static const QStringList list{
      QStringLiteral("Сосна 420 кг/м.куб."),       QStringLiteral("Сосна 460 кг/м.куб."),
      QStringLiteral("Ель"),                       QStringLiteral("Лиственница 590 кг/м.куб."),
      QStringLiteral("Лиственница 680 кг/м.куб."), QStringLiteral("Лиственница 740 кг/м.куб."),
      QStringLiteral("Осина"),                     QStringLiteral("Береза"),
      QStringLiteral("Дуб 690 кг/м.куб."),         QStringLiteral("Дуб 750 кг/м.куб."),
      QStringLiteral("Бук"),                       QStringLiteral("Ясень 470 кг/м.куб."),
      QStringLiteral("Тополь"),                    QStringLiteral("Кедр"),
      QStringLiteral("Липа")};
  return list;
}

const QStringList& WoodIndividualMaterials() {
  static const QStringList list{
      QStringLiteral("Древесина"), QStringLiteral("Сосна"), QStringLiteral("Ель"),   QStringLiteral("Лиственница"),
      QStringLiteral("Осина"),     QStringLiteral("Береза"), QStringLiteral("Дуб"),  QStringLiteral("Бук"),
      QStringLiteral("Ясень"),     QStringLiteral("Ольха"), QStringLiteral("Пихта"), QStringLiteral("Тополь"),
      QStringLiteral("Орех"),      QStringLiteral("Граб"),  QStringLiteral("Кедр")};
  return list;
}

const QStringList& ConcreteStandardMaterials() {
  static const QStringList list{
      QStringLiteral("Легкий бетон 1000 кг/м.куб."),   QStringLiteral("Легкий бетон 1200 кг/м.куб."),
      QStringLiteral("Легкий бетон 1400 кг/м.куб."),   QStringLiteral("Легкий бетон 1600 кг/м.куб."),
      QStringLiteral("Легкий бетон 1800 кг/м.куб."),   QStringLiteral("Ячеистый бетон 400 кг/м.куб."),
      QStringLiteral("Ячеистый бетон 600 кг/м.куб."),  QStringLiteral("Ячеистый бетон 800 кг/м.куб."),
      QStringLiteral("Ячеистый бетон 1000 кг/м.куб."), QStringLiteral("Кирпич силикатный"),
      QStringLiteral("Кирпич керамический"),           QStringLiteral("Тяжелый бетон"),
      QStringLiteral("Цементно-песчаный раствор")};
  return list;
}

const QStringList& ConcreteIndividualMaterials() {
  static const QStringList list{
      QStringLiteral("Бетон"),          QStringLiteral("Легкий бетон"),       QStringLiteral("Ячеистый бетон"),
      QStringLiteral("Кирпич силикатный"), QStringLiteral("Кирпич керамический"), QStringLiteral("Тяжелый бетон"),
      QStringLiteral("Раствор"),        QStringLiteral("Пемзобетон"),         QStringLiteral("Керамзитобетон"),
      QStringLiteral("Перлитобетон"),   QStringLiteral("Золобетон"),          QStringLiteral("Вермикулитобетон"),
      QStringLiteral("Газобетон"),      QStringLiteral("Пенобетон")};
  return list;
}

const QStringList& BulkStandardMaterials() {
  // Rows 0..2 carry the Cyrillic Em, row 3 the Latin M: both as the meter names them.
  static const QStringList list{
      QStringLiteral("Песок \u041c1.2"), QStringLiteral("Песок \u041c2.0"), QStringLiteral("Песок \u041c3.0"),
      QStringLiteral("Отсев M2.8"),      QStringLiteral("Щебень 3-10"),     QStringLiteral("Граншлак"),
      QStringLiteral("Пемза"),           QStringLiteral("Зола")};
  return list;
}

const QStringList& BulkIndividualMaterials() {
  static const QStringList list{
      QStringLiteral("Сыпучие"),    QStringLiteral("Песок"),  QStringLiteral("Отсев"),  QStringLiteral("Щебень"),
      QStringLiteral("Граншлак"),   QStringLiteral("Пемза"),  QStringLiteral("Зола"),   QStringLiteral("Вермикулит"),
      QStringLiteral("Силикагель"), QStringLiteral("Перлит"), QStringLiteral("Глина"),  QStringLiteral("Табак"),
      QStringLiteral("Крупа")};
  return list;
}

const QStringList& materialList(ArchiveKind kind, int individualNumber) {
  static const QStringList none;
  const bool individual = individualNumber != 0;
  switch (kind) {
    case ArchiveKind::Wood:
      return individual ? WoodIndividualMaterials() : WoodStandardMaterials();
    case ArchiveKind::Concrete:
      return individual ? ConcreteIndividualMaterials() : ConcreteStandardMaterials();
    case ArchiveKind::Bulk:
      return individual ? BulkIndividualMaterials() : BulkStandardMaterials();
  }
  return none;
}

QString MaterialName(ArchiveKind kind, int individualNumber, int code) {
  const QStringList& list = materialList(kind, individualNumber);
  if (code >= 0 && code < list.size()) return list.at(code);
  return QString::number(code);
}

}  // namespace hv
