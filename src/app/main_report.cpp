// Report preview and printing (placeholder).
#include "app/main.h"

void TForm1::N8Click() {}
void TForm1::N9Click() {}
void TForm1::N22Click() {}
