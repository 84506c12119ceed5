// New table from the meter and appending newer measurements (placeholder).
#include "app/main.h"

void TForm1::N2Click() {}
void TForm1::N4Click() {}
void TForm1::Create_DB() {}
void TForm1::flash2hygrovan(bool) {}
