// A simple map: the last position or the last track of a vehicle on projected coordinates, with a scale and labels.
#pragma once

#include "server/core/Model.h"

#include <QString>
#include <QWidget>

#include <vector>

namespace navilonix::server {

class MapView final : public QWidget {
public:
    explicit MapView(QWidget* parent = nullptr);

    void showPosition(const QString& label, const GpsRecord& position);
    void showTrack(const QString& label, std::vector<GpsRecord> track);
    void clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString label_;
    std::vector<GpsRecord> points_;
    bool track_ = false;
};

} // namespace navilonix::server
