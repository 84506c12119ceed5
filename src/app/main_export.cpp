// "Экспорт в Excel" (placeholder).
#include "app/main.h"

void TForm1::Excel1Click() {}
void TForm1::exp2excel(const QString&) {}
