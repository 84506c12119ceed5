// The curve dialog and the chart window: choosing curves, building the chart
// from a selection, printing and saving it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <cmath>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTimer>

#include "graphs/chart_window.h"
#include "graphs/moisture_chart.h"
#include "graphs/curve_dialog.h"
#include "report/progress_window.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

namespace {

using hv::Curve;
using hv::CurveChoice;
using hv::SelectedRow;

std::optional<QString> t(const char* s) { return QString::fromUtf8(s); }

SelectedRow row(std::optional<QString> w, std::optional<QString> mn, std::optional<QString> mx, const char* date,
                const char* time) {
  return {w, mn, mx, t(date), t(time)};
}

class Graphs : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setUserInteraction(&ui_);
    hv::setDecimalSeparatorOverride(QChar(','));
  }
  void TearDown() override {
    hv::setDecimalSeparatorOverride(QChar());
    hv::setUserInteraction(nullptr);
  }

  // (date-time, moisture) of a series, in its own order.
  static QList<QPair<QDateTime, double>> points(hv::ChartWindow& form, Curve c) {
    QList<QPair<QDateTime, double>> out;
    for (const QPointF& p : hv::chartSeries(form.chart(), c)->points())
      out.append({QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(p.x()), QTimeZone::utc()), p.y()});
    return out;
  }
  static QStringList legend(hv::ChartWindow& form) {
    QStringList out;
    for (QLegendMarker* m : form.chart()->legend()->markers())
      if (m->isVisible()) out << m->label();
    return out;
  }

  hv::test::ScriptedUserInteraction ui_;
  const hv::SelectionFooters footers_{QStringLiteral("11,5/12,8/14"), QStringLiteral("10/10/10"),
                                      QStringLiteral("12,4/12,4/12,4")};
};

TEST_F(Graphs, CurveDialogOffersBuildOnlyWithACurveChosen) {
  hv::CurveDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Построение графиков"));
  EXPECT_EQ(dialog.curveBox()->title(), QStringLiteral("Выберете графики"));
  EXPECT_EQ(dialog.buildButton()->text(), QStringLiteral("Построить"));
  // Top to bottom: W, Wmin, Wmax.
  EXPECT_EQ(dialog.wBox()->text(), QStringLiteral("W, %"));
  EXPECT_EQ(dialog.wMinBox()->text(), QStringLiteral("Wmin, %"));
  EXPECT_EQ(dialog.wMaxBox()->text(), QStringLiteral("Wmax, %"));
  EXPECT_LT(dialog.wBox()->y(), dialog.wMinBox()->y());
  EXPECT_LT(dialog.wMinBox()->y(), dialog.wMaxBox()->y());

  dialog.show();
  EXPECT_FALSE(dialog.buildButton()->isEnabled());
  dialog.wMinBox()->click();
  EXPECT_TRUE(dialog.buildButton()->isEnabled());
  dialog.wMinBox()->click();
  EXPECT_FALSE(dialog.buildButton()->isEnabled());
  dialog.wMaxBox()->click();
  EXPECT_TRUE(dialog.buildButton()->isEnabled());
  dialog.buildButton()->click();
  EXPECT_EQ(dialog.result(), hv::mrOk);
  EXPECT_FALSE(dialog.isVisible());

  // The choice stays for the next showing; the close box gives cancel.
  dialog.show();
  EXPECT_TRUE(dialog.wMaxBox()->isChecked());
  EXPECT_FALSE(dialog.wBox()->isChecked());
  EXPECT_TRUE(dialog.buildButton()->isEnabled());
  EXPECT_EQ(dialog.curves().wMax, true);
  dialog.close();
  EXPECT_EQ(dialog.result(), hv::mrCancel);

  // Run modally as the main window does.
  QTimer::singleShot(0, &dialog, [&] { dialog.buildButton()->click(); });
  EXPECT_EQ(dialog.exec(), hv::mrOk);
}

TEST_F(Graphs, PointsFollowDateAndTimeWhateverTheSelectionOrder) {
  hv::ChartWindow form;
  form.buildChart({row(t("14,0"), {}, {}, "07.03.2024", "08:15:00"), row({}, {}, {}, "06.03.2024", "09:00:00"),
                   row(t("11,5"), {}, {}, "05.03.2024", "10:30:00")},
                  footers_, CurveChoice{true, false, false});
  const auto w = points(form, Curve::W);
  ASSERT_EQ(w.size(), 2);
  EXPECT_EQ(w[0].first, QDateTime(QDate(2024, 3, 5), QTime(10, 30), QTimeZone::utc()));
  EXPECT_DOUBLE_EQ(w[0].second, 11.5);
  EXPECT_EQ(w[1].first, QDateTime(QDate(2024, 3, 7), QTime(8, 15), QTimeZone::utc()));
  EXPECT_DOUBLE_EQ(w[1].second, 14.0);
  EXPECT_EQ(legend(form), QStringList{QStringLiteral("W, %11,5/12,8/14")});

  // The bottom axis covers the points and shows date above time.
  auto* axis = qobject_cast<QCategoryAxis*>(form.chart()->axes(Qt::Horizontal).value(0));
  ASSERT_NE(axis, nullptr);
  EXPECT_LT(axis->min(), w[0].first.toMSecsSinceEpoch());
  EXPECT_GT(axis->max(), w[1].first.toMSecsSinceEpoch());
  const QStringList labels = axis->categoriesLabels();
  ASSERT_GE(labels.size(), 2);
  EXPECT_TRUE(labels.first().startsWith(QStringLiteral("05.03.2024<br>"))) << labels.first().toStdString();
  EXPECT_TRUE(labels.last().startsWith(QStringLiteral("07.03.2024<br>"))) << labels.last().toStdString();
}

TEST_F(Graphs, ARangeRowGivesABlueAndARedPointAtTheSameTime) {
  hv::ChartWindow form;
  const QList<SelectedRow> rows = {row({}, t("10,0"), t("12,4"), "06.03.2024", "09:00:00")};
  form.buildChart(rows, footers_, CurveChoice{true, false, false});
  EXPECT_TRUE(points(form, Curve::W).isEmpty());
  EXPECT_TRUE(points(form, Curve::WMin).isEmpty());
  EXPECT_TRUE(points(form, Curve::WMax).isEmpty());

  form.buildChart(rows, footers_, CurveChoice{false, true, true});
  const auto mn = points(form, Curve::WMin), mx = points(form, Curve::WMax);
  ASSERT_EQ(mn.size(), 1);
  ASSERT_EQ(mx.size(), 1);
  EXPECT_EQ(mn[0].first, mx[0].first);
  EXPECT_DOUBLE_EQ(mn[0].second, 10.0);
  EXPECT_DOUBLE_EQ(mx[0].second, 12.4);
  EXPECT_TRUE(points(form, Curve::W).isEmpty());
  EXPECT_EQ(hv::chartSeries(form.chart(), Curve::WMin)->color(), QColor(Qt::blue));
  EXPECT_EQ(hv::chartSeries(form.chart(), Curve::WMax)->color(), QColor(Qt::red));
  EXPECT_EQ(hv::chartSeries(form.chart(), Curve::W)->color(), QColor(Qt::black));
  // The legend lists the chosen curves only, each with its own footer.
  EXPECT_EQ(legend(form), (QStringList{QStringLiteral("Wmin, %10/10/10"), QStringLiteral("Wmax, %12,4/12,4/12,4")}));
  // Markers reach 3 pixels each way: circles for W, squares for the others.
  form.buildChart({row(t("12,0"), {}, {}, "06.03.2024", "09:00:00"), rows[0]}, footers_, CurveChoice{true, true, true});
  form.chart()->resize(698, 482);
  const QImage image = hv::renderChartImage(form.chart(), QSize(698, 482));
  for (Curve c : hv::kCurves) {
    QLineSeries* s = hv::chartSeries(form.chart(), c);
    ASSERT_EQ(s->count(), 1);
    const QPoint centre = form.chart()->mapToPosition(s->at(0), s).toPoint();
    const QColor colour = s->color();
    // Inked, antialiased edges included; the light grid lines are not.
    const auto inColour = [&](int x, int y) {
      const QColor p = image.pixelColor(x, y);
      return (255 - p.red()) + (255 - p.green()) + (255 - p.blue()) > 190;
    };
    const QColor at = image.pixelColor(centre);
    EXPECT_LT(std::abs(at.red() - colour.red()) + std::abs(at.green() - colour.green()) +
                  std::abs(at.blue() - colour.blue()),
              60)
        << static_cast<int>(c);
    QRect blob;
    for (int dy = -8; dy <= 8; ++dy)
      for (int dx = -8; dx <= 8; ++dx)
        if (inColour(centre.x() + dx, centre.y() + dy)) blob |= QRect(centre.x() + dx, centre.y() + dy, 1, 1);
    EXPECT_GE(blob.width(), 6) << static_cast<int>(c);
    EXPECT_LE(blob.width(), 8) << static_cast<int>(c);
    EXPECT_GE(blob.height(), 6) << static_cast<int>(c);
    EXPECT_LE(blob.height(), 8) << static_cast<int>(c);
    // A square fills its corners, a circle does not.
    const bool corner = inColour(blob.left(), blob.top()) && inColour(blob.right(), blob.bottom());
    EXPECT_EQ(corner, c != Curve::W) << static_cast<int>(c);
  }
}

TEST_F(Graphs, EqualDateTimesKeepSelectionOrderAndASecondOpeningShowsOnlyTheNewSelection) {
  hv::ChartWindow form;
  form.buildChart({row(t("20,0"), {}, {}, "05.03.2024", "09:00:00"), row(t("10,0"), {}, {}, "05.03.2024", "09:00:00"),
                   row(t("15,0"), {}, {}, "01.03.2024", "09:00:00")},
                  footers_, CurveChoice{true, true, true});
  auto w = points(form, Curve::W);
  ASSERT_EQ(w.size(), 3);
  EXPECT_DOUBLE_EQ(w[0].second, 15.0);
  EXPECT_DOUBLE_EQ(w[1].second, 20.0);
  EXPECT_DOUBLE_EQ(w[2].second, 10.0);
  EXPECT_EQ(w[1].first, w[2].first);

  const hv::SelectionFooters other{QStringLiteral("0/0/0"), QStringLiteral("1/2/3"), QStringLiteral("4/5/6")};
  form.buildChart({row(t("30,0"), {}, {}, "10.04.2024", "12:00:00")}, other, CurveChoice{true, false, false});
  w = points(form, Curve::W);
  ASSERT_EQ(w.size(), 1);
  EXPECT_DOUBLE_EQ(w[0].second, 30.0);
  EXPECT_EQ(legend(form), QStringList{QStringLiteral("W, %0/0/0")});
  // With no selected row the chart opens with no points.
  form.buildChart({}, other, CurveChoice{true, true, true});
  for (Curve c : hv::kCurves) EXPECT_TRUE(points(form, c).isEmpty());
}

TEST_F(Graphs, ABadRowStopsWithTheMessageAndTheWindowStaysHidden) {
  hv::ChartWindow form;
  EXPECT_EQ(form.showChart(
                {row(t("12,0"), {}, {}, "05.03.2024", "09:00:00"), row(t("13,0"), {}, {}, "05.13.2024", "09:00:00")},
                footers_, CurveChoice{true, false, false}),
            hv::mrCancel);
  EXPECT_FALSE(form.isVisible());
  auto shown = ui_.messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0].caption, hv::applicationTitle());
  EXPECT_EQ(shown[0].text, QStringLiteral("Значение \"05.13.2024 09:00:00\" не является датой и временем."));
  EXPECT_EQ(shown[0].icon, hv::MsgIcon::Error);

  ui_.clear();
  EXPECT_EQ(
      form.showChart({row(t("12;0"), {}, {}, "05.03.2024", "09:00:00")}, footers_, CurveChoice{true, false, false}),
      hv::mrCancel);
  shown = ui_.messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0].text, QStringLiteral("Значение \"12;0\" не является числом."));

  // A good selection opens the window modally.
  ui_.clear();
  QTimer::singleShot(0, &form, [&] {
    EXPECT_TRUE(form.isVisible());
    form.accept();
  });
  EXPECT_EQ(
      form.showChart({row(t("12,0"), {}, {}, "05.03.2024", "09:00:00")}, footers_, CurveChoice{true, false, false}),
      hv::mrOk);
  EXPECT_TRUE(ui_.messages().isEmpty());
}

TEST_F(Graphs, ThePrintButtonFollowsTheBottomRightCorner) {
  hv::ChartWindow form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Графики"));
  EXPECT_EQ(form.printButton()->text(), QStringLiteral("Печать"));
  EXPECT_EQ(form.printButton()->size(), QSize(75, 25));
  form.show();
  for (QSize size : {QSize(698, 482), QSize(900, 600)}) {
    form.resize(size);
    EXPECT_EQ(form.chartView()->geometry(), form.rect());
    const QPoint gap = form.rect().bottomRight() - form.printButton()->geometry().bottomRight();
    EXPECT_EQ(gap, QPoint(8, 8));
  }
  form.close();
}

TEST_F(Graphs, PrintingGivesOneLandscapePageAndPutsTheOrientationBack) {
  hv::ChartWindow form;
  form.resize(698, 482);
  form.show();
  form.buildChart({row(t("12,0"), {}, {}, "05.03.2024", "09:00:00"), row(t("14,0"), {}, {}, "06.03.2024", "09:00:00")},
                  footers_, CurveChoice{true, false, false});
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const QString pdf = hv::test::testPath(QStringLiteral("chart.pdf"));
  printer.setOutputFileName(pdf);
  printer.setPageOrientation(QPageLayout::Portrait);
  ASSERT_TRUE(form.printTo(printer));
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);

  const auto info = hv::test::runProcess(QStringLiteral("pdfinfo"), {pdf});
  ASSERT_EQ(info.exitCode, 0) << info.err.constData();
  EXPECT_TRUE(QString::fromUtf8(info.out).contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
      << info.out.constData();
  const QRegularExpression sizeRe(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)"));
  const auto m = sizeRe.match(QString::fromUtf8(info.out));
  ASSERT_TRUE(m.hasMatch()) << info.out.constData();
  EXPECT_GT(m.captured(1).toDouble(), m.captured(2).toDouble());  // landscape
  const auto text = hv::test::runProcess(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  EXPECT_TRUE(text.out.contains("W, %11,5/12,8/14")) << text.out.constData();
  EXPECT_FALSE(text.out.contains("Печать"));  // the chart alone, not the window

  // The printed chart keeps the width-to-height ratio it has on the screen.
  const auto png = hv::test::runProcess(
      QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("40"), QStringLiteral("-png"),
                                   QStringLiteral("-singlefile"), pdf, hv::test::testPath(QStringLiteral("page"))});
  ASSERT_EQ(png.exitCode, 0) << png.err.constData();
  const QImage page(hv::test::testPath(QStringLiteral("page.png")));
  ASSERT_FALSE(page.isNull());
  QRect ink;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (qGray(page.pixel(x, y)) < 200) ink |= QRect(x, y, 1, 1);
  // The chart's own frame is not drawn, so its ink sits a little inside its area.
  const double screenRatio = form.chart()->size().width() / form.chart()->size().height();
  EXPECT_NEAR(static_cast<double>(ink.width()) / ink.height(), screenRatio, 0.15);
  EXPECT_GT(ink.height(), page.height() * 0.7);
}

TEST_F(Graphs, WithoutAPrinterThePrintButtonOffersAPdfFileAsTheReportDoes) {
  ui_.printers.clear();  // no printer installed
  hv::ChartWindow form;
  form.resize(698, 482);
  form.show();
  form.buildChart({row(t("12,0"), {}, {}, "05.03.2024", "09:00:00")}, footers_, CurveChoice{true, false, false});
  const QString pdf = hv::test::testPath(QStringLiteral("chart.pdf"));

  // Declined, then accepted but the file dialog cancelled: nothing written.
  form.printButton()->click();
  ui_.messageAnswers << hv::MsgResult::Yes;
  form.printButton()->click();
  ASSERT_EQ(ui_.shown.size(), 3);
  EXPECT_EQ(ui_.shown[0].kind, hv::test::ScriptedUserInteraction::Shown::Message);
  EXPECT_EQ(ui_.shown[0].buttons, hv::MsgButtons::YesNo);
  EXPECT_TRUE(ui_.shown[0].text.contains(QStringLiteral("в файл PDF"))) << ui_.shown[0].text.toStdString();
  EXPECT_EQ(ui_.shown[2].kind, hv::test::ScriptedUserInteraction::Shown::SaveFile);
  EXPECT_EQ(ui_.shown[2].file.filter, QStringLiteral("Документы PDF|*.pdf"));  // the report's request
  EXPECT_FALSE(QFile::exists(pdf));

  ui_.messageAnswers << hv::MsgResult::Yes;
  ui_.fileAnswers << hv::test::testPath(QStringLiteral("chart"));  // ".pdf" is added
  form.printButton()->click();
  EXPECT_EQ(ui_.messages().size(), 3);  // the offers only, no error
  const auto info = hv::test::runProcess(QStringLiteral("pdfinfo"), {pdf});
  ASSERT_EQ(info.exitCode, 0) << info.err.constData();
  const QString text = QString::fromUtf8(info.out);
  EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << info.out.constData();
  // The print job's name, as the report's jobs carry it.
  EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Title:\\s+Hygrovan-RX3\\n")))) << info.out.constData();
  const auto printed = hv::test::runProcess(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  EXPECT_TRUE(printed.out.contains("W, %11,5/12,8/14")) << printed.out.constData();
}

TEST_F(Graphs, TheContextMenuSavesThePictureAsPngOrPdf) {
  hv::ChartWindow form;
  form.resize(698, 482);
  form.show();
  form.buildChart({row(t("12,0"), {}, {}, "05.03.2024", "09:00:00")}, footers_, CurveChoice{true, false, false});
  ASSERT_TRUE(form.chartView()->actions().contains(form.saveImageAction()));
  EXPECT_EQ(form.saveImageAction()->text(), QStringLiteral("Сохранить изображение..."));

  ui_.fileAnswers = {hv::test::testPath(QStringLiteral("chart")), hv::test::testPath(QStringLiteral("chart.pdf"))};
  form.saveImageAction()->trigger();
  ASSERT_EQ(ui_.shown.size(), 1);
  EXPECT_EQ(ui_.shown[0].kind, hv::test::ScriptedUserInteraction::Shown::SaveFile);
  EXPECT_TRUE(ui_.shown[0].file.filter.contains(QStringLiteral("*.pdf")));
  EXPECT_EQ(ui_.shown[0].file.fileName, QStringLiteral("График.png"));  // no table open
  const QImage png(hv::test::testPath(QStringLiteral("chart.png")));  // the default extension was added
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.size(), form.chart()->size().toSize());

  hv::setDocumentName(QStringLiteral("ель"));
  form.saveImageAction()->trigger();
  hv::setDocumentName(QString());
  EXPECT_EQ(ui_.shown.last().file.fileName, QStringLiteral("ель.png"));  // named after the open table
  EXPECT_TRUE(hv::test::readFile(hv::test::testPath(QStringLiteral("chart.pdf"))).startsWith("%PDF"));

  // Cancel writes nothing; a folder that cannot be written is reported.
  ui_.clear();
  form.saveImageAction()->trigger();
  EXPECT_TRUE(ui_.messages().isEmpty());
  ui_.fileAnswers = {hv::test::testPath(QStringLiteral("missing/chart.png"))};
  form.saveImageAction()->trigger();
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Error);
}

// A slow drying curve with the meter's scatter, one reading a minute.
QList<SelectedRow> dryingRows(int count) {
  QList<SelectedRow> rows;
  const QDateTime start(QDate(2024, 3, 1), QTime(0, 0), QTimeZone::utc());
  for (int i = 0; i < count; ++i) {
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    const double w = 30 - 12.0 * i / count + 3 * std::sin(i / 700.0) + (h >> 8) % 40 / 10.0;
    const QDateTime at = start.addSecs(60LL * i);
    rows.append({QString::number(w, 'f', 1).replace('.', ','), {}, {}, at.toString("dd.MM.yyyy"),
                 at.toString("HH:mm:ss")});
  }
  return rows;
}

TEST_F(Graphs, AReducedSeriesOf20000PointsDrawsAsTheWholeOneAndFollowsTheSize) {
  const QList<SelectedRow> rows = dryingRows(20000);
  hv::ChartWindow form;
  form.resize(698, 482);
  form.show();
  form.buildChart(rows, footers_, CurveChoice{true, false, false});
  QApplication::processEvents();
  QLineSeries* series = hv::chartSeries(form.chart(), Curve::W);
  const qsizetype shown = series->count();
  EXPECT_LT(shown, 20000 * 3 / 4);
  EXPECT_GT(shown, form.chart()->plotArea().width());

  auto picture = [&] {
    QImage image(form.chart()->size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    form.chart()->scene()->render(&painter, QRectF(QPointF(), QSizeF(image.size())), form.chart()->sceneBoundingRect());
    return image;
  };
  const QImage reduced = picture();
  QList<QPointF> all;
  const hv::ChartData data = hv::buildChartData(rows, CurveChoice{true, false, false});
  for (const hv::ChartPoint& p : data.points(Curve::W))
    all.append(QPointF(static_cast<qreal>(hv::dateTimeFromDays(p.x).toMSecsSinceEpoch()), p.y));
  series->replace(all);
  const QImage whole = picture();
  ASSERT_EQ(reduced.size(), whole.size());
  qint64 differing = 0, ink = 0;
  for (int y = 0; y < whole.height(); ++y)
    for (int x = 0; x < whole.width(); ++x) {
      differing += reduced.pixel(x, y) != whole.pixel(x, y);
      ink += qGray(whole.pixel(x, y)) < 128;
    }
  EXPECT_GT(ink, whole.width() * whole.height() / 20);  // the curve is there to compare
  EXPECT_LT(differing, whole.width() * whole.height() / 100) << differing;

  // Enlarged, the series is reduced again for the wider plot.
  form.resize(1600, 1000);
  QApplication::processEvents();
  EXPECT_GT(series->count(), shown);
}

TEST_F(Graphs, APageDrawnAwayFromTheSceneLooksAsTheSceneDrawsIt) {
  QList<SelectedRow> rows = dryingRows(6000);
  for (qsizetype i = 1; i < rows.size(); i += 2) {  // every other reading a range: picture markers
    rows[i].wMin = rows[i].w;
    rows[i].wMax = QString::number(rows[i].w->replace(',', '.').toDouble() + 2, 'f', 1).replace('.', ',');
    rows[i].w.reset();
  }
  hv::ChartWindow form;
  form.resize(698, 482);
  form.show();
  hv::ChartOptions options;
  options.target = 25;
  form.buildChart(rows, footers_, CurveChoice{true, true, true}, options);
  QApplication::processEvents();
  const QSize size = form.chart()->size().toSize();
  auto blank = [&] {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
  };
  QImage scene = blank(), page = blank();
  QPainter painter(&scene);
  painter.setRenderHint(QPainter::Antialiasing);
  form.chart()->scene()->render(&painter, QRectF(QPointF(), QSizeF(size)), form.chart()->sceneBoundingRect());
  painter.end();
  painter.begin(&page);
  hv::drawChartPage(*hv::takeChartPage(form.chart(), QRectF(QPointF(), QSizeF(size))), painter);
  painter.end();
  qint64 differing = 0, ink = 0;
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) {
      differing += scene.pixel(x, y) != page.pixel(x, y);
      ink += qGray(scene.pixel(x, y)) < 128;
    }
  EXPECT_GT(ink, size.width() * size.height() / 20);
  EXPECT_LT(differing, size.width() * size.height() / 500) << differing;  // texts laid out again: a few pixels
}

TEST_F(Graphs, CancellingThePdfLeavesNoFileAndKeepsAnEarlierOne) {
  hv::ChartWindow form;
  form.resize(698, 482);
  form.show();
  form.buildChart(dryingRows(20000), footers_, CurveChoice{true, false, false});
  const QString folder = hv::test::testPath(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString pdf = folder + QStringLiteral("/chart.pdf");
  hv::test::writeFile(pdf, "earlier");
  QString caption, page;
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* p = qobject_cast<hv::report::ProgressWindow*>(w); p && p->isVisible()) {
        caption = p->windowTitle();
        page = p->pageText();
        p->cancelButton()->click();
      }
  });
  cancel.start(1);
  ui_.fileAnswers << pdf;
  form.saveImageAction()->trigger();
  EXPECT_EQ(caption, QStringLiteral("Сохранение в PDF"));
  EXPECT_EQ(page, QStringLiteral("Страница 1 из 1"));
  EXPECT_EQ(hv::test::readFile(pdf), "earlier");

  // "Печать" with no printer writes a PDF file the same way.
  caption.clear();
  ui_.printers.clear();
  ui_.messageAnswers << hv::MsgResult::Yes;
  ui_.fileAnswers << pdf;
  form.printButton()->click();
  EXPECT_EQ(caption, QStringLiteral("Печать"));
  EXPECT_EQ(hv::test::readFile(pdf), "earlier");
  EXPECT_EQ(ui_.messages().size(), 1);  // the offer of a file, no error
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("chart.pdf")});

  // Let through, both replace it.
  cancel.stop();
  ui_.fileAnswers << pdf;
  form.saveImageAction()->trigger();
  EXPECT_TRUE(hv::test::readFile(pdf).startsWith("%PDF"));
  hv::test::writeFile(pdf, "earlier");
  ui_.messageAnswers << hv::MsgResult::Yes;
  ui_.fileAnswers << pdf;
  form.printButton()->click();
  EXPECT_TRUE(hv::test::readFile(pdf).startsWith("%PDF"));
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("chart.pdf")});
}

}  // namespace

TEST_F(Graphs, CancellingTheBuildOfManyRowsStopsItAndLeavesTheChartAsItWas) {
  hv::ChartWindow form;
  form.buildChart({row(t("12,0"), {}, {}, "05.03.2024", "09:00:00")}, footers_, CurveChoice{true, false, false});
  // Enough rows to be read beside the windows, all the same so that reading them takes a while.
  const QList<SelectedRow> many(400000, row(t("14,0"), {}, {}, "06.03.2024", "09:00:00"));
  QString caption;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* p = qobject_cast<hv::report::ProgressWindow*>(w); p && p->isVisible() && caption.isEmpty()) {
        caption = p->windowTitle();
        p->cancelButton()->click();
      }
  });
  poll.start(1);
  EXPECT_FALSE(form.buildChart(many, footers_, CurveChoice{true, false, false}));
  EXPECT_EQ(caption, "Построение графика");
  QApplication::processEvents();
  QLineSeries* series = hv::chartSeries(form.chart(), Curve::W);
  ASSERT_EQ(series->count(), 1);
  EXPECT_EQ(series->at(0).y(), 12.0);
  // The build itself stops where it is told.
  hv::BuildControl control;
  control.stop = true;
  EXPECT_LT(hv::buildChartData(many, CurveChoice{true, false, false}, &control).points(Curve::W).size(), 5000);
}
