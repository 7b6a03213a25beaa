#include "server/MapView.h"

#include "server/core/Geo.h"
#include "server/core/TimeText.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace navilonix::server {

namespace {

// A local plane in metres around a reference latitude: fine for a city or a day's track.
struct Projection {
    double lat0 = 0.0;
    double lon0 = 0.0;
    double cosLat = 1.0;
    QPointF meters(double lat, double lon) const {
        constexpr double rad = std::numbers::pi / 180.0;
        return {(lon - lon0) * rad * EarthRadiusMeters * cosLat, (lat - lat0) * rad * EarthRadiusMeters};
    }
};

// The largest of 1, 2 or 5 times a power of ten that is at most the given length.
double roundLength(double meters) {
    const double power = std::pow(10.0, std::floor(std::log10(std::max(meters, 1.0))));
    for (const double step : {5.0, 2.0, 1.0})
        if (step * power <= meters)
            return step * power;
    return power;
}

QString lengthText(double meters) {
    return meters >= 1000 ? QStringLiteral("%1 км").arg(meters / 1000.0) : QStringLiteral("%1 м").arg(meters);
}

QString timeText(UnixTime time) {
    return time == 0 ? QString() : QString::fromStdString(formatDateTime(time, TextFormat{}));
}

// Where the records fall in `area`: their bounds, a projection around their centre and the scale.
struct MapFrame {
    double minLat, maxLat, minLon, maxLon;
    Projection projection;
    QRectF area;
    double scale; // pixels per metre
    QPointF toScreen(const GpsRecord& r) const {
        const QPointF m = projection.meters(r.latitude, r.longitude);
        return QPointF(area.center().x() + m.x() * scale, area.center().y() - m.y() * scale);
    }
};

MapFrame frameFor(const std::vector<GpsRecord>& points, const QRectF& area) {
    MapFrame f{points.front().latitude,
               points.front().latitude,
               points.front().longitude,
               points.front().longitude,
               Projection{},
               area,
               1.0};
    for (const GpsRecord& r : points) {
        f.minLat = std::min(f.minLat, r.latitude);
        f.maxLat = std::max(f.maxLat, r.latitude);
        f.minLon = std::min(f.minLon, r.longitude);
        f.maxLon = std::max(f.maxLon, r.longitude);
    }
    f.projection.lat0 = (f.minLat + f.maxLat) / 2;
    f.projection.lon0 = (f.minLon + f.maxLon) / 2;
    f.projection.cosLat = std::cos(f.projection.lat0 * std::numbers::pi / 180.0);
    const QPointF low = f.projection.meters(f.minLat, f.minLon);
    const QPointF high = f.projection.meters(f.maxLat, f.maxLon);
    // At least two kilometres across, so that a single position shows its surroundings.
    const double spanX = std::max(high.x() - low.x(), 2000.0);
    const double spanY = std::max(high.y() - low.y(), 2000.0);
    f.scale = std::min(area.width() / spanX, area.height() / spanY);
    return f;
}

// A label beside a mark at `p`: on its right, or on its left when the mark is in the right half of the view, so
// that the text stays inside.
void drawLabel(QPainter& painter, const QPointF& p, double gap, double dy, const QString& text) {
    const double width = painter.fontMetrics().horizontalAdvance(text);
    const bool left = p.x() > painter.viewport().width() / 2.0;
    painter.drawText(p + QPointF(left ? -gap - width : gap, dy), text);
}

void drawTrack(QPainter& painter, const MapFrame& frame, const std::vector<GpsRecord>& points) {
    QPainterPath path;
    path.moveTo(frame.toScreen(points.front()));
    for (std::size_t i = 1; i < points.size(); ++i)
        path.lineTo(frame.toScreen(points[i]));
    painter.setPen(QPen(QColor(0x1F, 0x5F, 0xBF), 2.5));
    painter.drawPath(path);
    // The start's label above its mark, the end's below, so that a round trip keeps both readable.
    auto mark = [&](const GpsRecord& r, const QColor& colour, const QString& text, double dy) {
        const QPointF p = frame.toScreen(r);
        painter.setPen(Qt::black);
        painter.setBrush(colour);
        painter.drawEllipse(p, 6, 6);
        drawLabel(painter, p, 10, dy, text);
    };
    mark(points.front(), QColor(0x2E, 0xA0, 0x43), QStringLiteral("Начало ") + timeText(points.front().time), -8);
    mark(points.back(), QColor(0xD0, 0x3A, 0x2F), QStringLiteral("Конец ") + timeText(points.back().time), 18);
}

// One position: its mark, an arrow along its course (when known), its time and coordinates.
void drawPosition(QPainter& painter, const MapFrame& frame, const GpsRecord& r) {
    const QPointF p = frame.toScreen(r);
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(QColor(0xD0, 0x3A, 0x2F));
    painter.drawEllipse(p, 8, 8);
    if (r.course >= 0) {
        const double a = r.course * std::numbers::pi / 180.0;
        painter.drawLine(p, p + QPointF(std::sin(a) * 24, -std::cos(a) * 24));
    }
    drawLabel(painter, p, 12, -10, timeText(r.time));
    drawLabel(painter, p, 12, 6, QStringLiteral("%1, %2").arg(r.latitude, 0, 'f', 5).arg(r.longitude, 0, 'f', 5));
}

} // namespace

MapView::MapView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 240);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xF4, 0xF1, 0xE8));
    setPalette(p);
}

void MapView::showPosition(const QString& label, const GpsRecord& position) {
    label_ = label;
    points_ = {position};
    track_ = false;
    update();
}

void MapView::showTrack(const QString& label, std::vector<GpsRecord> track) {
    label_ = label;
    points_ = std::move(track);
    track_ = true;
    update();
}

void MapView::clear() {
    label_.clear();
    points_.clear();
    update();
}

void MapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (points_.empty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Нет данных для карты"));
        return;
    }
    // The records keep clear of the coordinate range and the title above them (with room for a label over the
    // topmost mark) and of the scale below.
    const MapFrame frame = frameFor(points_, QRectF(rect()).adjusted(40, 80, -40, -60));
    const double scale = frame.scale;

    // A light grid every scale step.
    const double step = roundLength(width() / 4.0 / scale);
    painter.setPen(QPen(QColor(0xDD, 0xD8, 0xC8), 1));
    for (double x = std::fmod(frame.area.center().x(), step * scale); x < width(); x += step * scale)
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    for (double y = std::fmod(frame.area.center().y(), step * scale); y < height(); y += step * scale)
        painter.drawLine(QPointF(0, y), QPointF(width(), y));

    if (track_)
        drawTrack(painter, frame, points_);
    else
        drawPosition(painter, frame, points_.front());

    // Title and scale.
    painter.setPen(Qt::black);
    QFont bold = painter.font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QPointF(10, 40), label_);
    painter.setFont(font());
    const double barPixels = step * scale;
    const QPointF origin(12, height() - 20);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(origin, origin + QPointF(barPixels, 0));
    painter.drawLine(origin, origin + QPointF(0, -6));
    painter.drawLine(origin + QPointF(barPixels, 0), origin + QPointF(barPixels, -6));
    painter.drawText(origin + QPointF(barPixels + 8, 4), lengthText(step));
    painter.drawText(QRectF(rect()).adjusted(0, 8, -10, 0), Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("%1° с.ш. … %2° с.ш., %3° в.д. … %4° в.д.")
                         .arg(frame.minLat, 0, 'f', 4)
                         .arg(frame.maxLat, 0, 'f', 4)
                         .arg(frame.minLon, 0, 'f', 4)
                         .arg(frame.maxLon, 0, 'f', 4));
}

} // namespace navilonix::server
