#pragma once
// The program's windows, created once at start-up in this order:
// Form1, Form2, Form3, Form4, the splash, AboutBox.
class TForm1;
namespace hv {
class DownloadDialog;
class ChartWindow;
class CurveDialog;
class AboutBox;
}  // namespace hv

extern TForm1* Form1;
extern hv::DownloadDialog* Form2;  // download dialog
extern hv::ChartWindow* Form3;  // chart window
extern hv::CurveDialog* Form4;  // curve dialog
extern hv::AboutBox* aboutBox;
