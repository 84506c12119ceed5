#pragma once
// The program's windows, created once at start-up in this order:
// Form1, Form2, Form3, Form4, the splash, AboutBox.
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class Tform6;

extern TForm1* Form1;
extern TForm2* Form2;  // download dialog
extern TForm3* Form3;  // chart window
extern TForm4* Form4;  // curve dialog
extern Tform6* AboutBox;
