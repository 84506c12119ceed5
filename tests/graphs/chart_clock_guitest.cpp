// The chart's time axis where the local clock changes: the stored texts are
// the meter's wall-clock readings and are placed as such.
#include <gtest/gtest.h>

#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QTimeZone>
#include <ctime>

#include "graphs/moisture_chart.h"
#include "platform/regional.h"

namespace {

class ChartClock : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::setDecimalSeparatorOverride(QChar(','));
    hadZone_ = qEnvironmentVariableIsSet("TZ");
    zone_ = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
  }
  void TearDown() override {
    if (hadZone_)
      qputenv("TZ", zone_);
    else
      qunsetenv("TZ");
    tzset();
    hv::setDecimalSeparatorOverride(QChar());
  }

  // The axis positions of the W points after drawing rows at these times.
  QList<qint64> drawn(const QStringList& times) {
    QList<hv::SelectedRow> rows;
    for (const QString& t : times) {
      const QStringList dt = t.split(QChar(' '));
      rows.append({QStringLiteral("10,0"), {}, {}, dt[0], dt[1]});
    }
    const hv::CurveChoice w{true, false, false};
    hv::fillMoistureChart(chart_, hv::buildChartData(rows, w), w, {});
    QList<qint64> xs;
    for (const QPointF& p : hv::chartSeries(chart_, hv::Curve::W)->points()) xs << qint64(p.x());
    return xs;
  }

  QGraphicsScene scene_;
  QChart* chart_ = [this] {
    QChart* c = hv::createMoistureChart();
    scene_.addItem(c);
    c->resize(698, 482);
    return c;
  }();
  bool hadZone_ = false;
  QByteArray zone_;
};

// Milliseconds between two "dd.mm.yyyy hh:mm:ss" texts as a clock that never
// changes would count them.
qint64 textSpan(const QString& from, const QString& to) {
  const auto ms = [](const QString& t) {
    return QDateTime(QDate::fromString(t.left(10), QStringLiteral("dd.MM.yyyy")),
                     QTime::fromString(t.mid(11), QStringLiteral("HH:mm:ss")), QTimeZone::utc())
        .toMSecsSinceEpoch();
  };
  return ms(to) - ms(from);
}

TEST_F(ChartClock, ReadingsAndLabelsKeepTheOrderAndSpacingOfTheirTextsAcrossBothChanges) {
  // Berlin skips 02:00-03:00 on 31 March 2024 and has it twice on 27 October.
  for (const QStringList& times :
       {QStringList{"31.03.2024 02:00:00", "31.03.2024 02:30:00", "31.03.2024 03:15:00"},
        QStringList{"27.10.2024 01:30:00", "27.10.2024 02:15:00", "27.10.2024 02:45:00", "27.10.2024 03:30:00"}}) {
    SCOPED_TRACE(times.join(QStringLiteral(", ")).toStdString());
    const QList<qint64> xs = drawn(times);
    ASSERT_EQ(xs.size(), times.size());
    for (int i = 1; i < times.size(); ++i) EXPECT_EQ(xs[i] - xs[0], textSpan(times[0], times[i])) << i;
    // Each label names the reading at its place (to the second), and they run forwards.
    auto* axis = qobject_cast<QCategoryAxis*>(chart_->axes(Qt::Horizontal).value(0));
    ASSERT_NE(axis, nullptr);
    const QStringList texts = axis->categoriesLabels();
    ASSERT_GE(texts.size(), 2);
    QString before;
    for (const QString& text : texts) {
      const QString reading = QString(text).replace(QStringLiteral("<br>"), QStringLiteral(" "));
      const qint64 offset = textSpan(times[0], reading);
      EXPECT_LE(offset, qint64(axis->endValue(text)) - xs[0]) << reading.toStdString();
      EXPECT_GT(offset + 1000, qint64(axis->endValue(text)) - xs[0]) << reading.toStdString();
      if (!before.isEmpty()) {
        EXPECT_GT(textSpan(before, reading), 0) << reading.toStdString();
      }
      before = reading;
    }
  }
}

}  // namespace
