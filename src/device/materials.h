#pragma once
// The material catalogue: the text of a record's material code, by archive
// kind and by whether the measurement used an individual dependence.
#include <QString>
#include <QStringList>

#include "store/archive_kind_value.h"

namespace hv {

const QStringList& WoodStandardMaterials();
const QStringList& WoodIndividualMaterials();
const QStringList& ConcreteStandardMaterials();
const QStringList& ConcreteIndividualMaterials();
const QStringList& BulkStandardMaterials();
const QStringList& BulkIndividualMaterials();

// The list for an archive kind and dependence; an empty list for a kind
// outside the three.
const QStringList& materialList(ArchiveKind kind, int individualNumber);

// A code beyond the end of its list gives the code in decimal digits, so an
// import never stops half-way and never reads outside a list.
QString MaterialName(ArchiveKind kind, int individualNumber, int code);

}  // namespace hv
