// "Построить график" (placeholder).
#include "app/main.h"

void TForm1::N15Click() {}
