// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of a chart or graph: what the screen shows, title included, drawn again on an image
// or an SVG generator rather than grabbed, so that twice the pixels and SVG stay sharp.
#include "runtime/ui_picture.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSvgGenerator>
#include <QtCharts/QChartView>

#include "runtime/strip_chart.h"
#include "runtime/ui_tables.h"

using namespace ui;

namespace {

// The title above the chart (if any) and the chart under it, on the painter's device.
void PaintCtrl(Ctrl& c, QPainter& p) {
    p.fillRect(QRect(QPoint(0, 0), c.box->size()), Qt::white);
    if (c.lab && c.lab->isVisible()) c.lab->render(&p, c.lab->mapTo(c.box, QPoint(0, 0)), QRegion(), QWidget::DrawChildren);
    const QPoint at = c.w->mapTo(c.box, QPoint(0, 0));
    if (c.chart->strip) {
        p.save();
        p.translate(at);
        c.chart->strip->paintPicture(p);
        p.restore();
    } else {
        QGraphicsView* v = c.chart->view;
        v->render(&p, QRectF(at, v->viewport()->size()), v->viewport()->rect());
    }
}

} // namespace

int SetPictureMenu(int panel, int control, PictureMenuPtr callback) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (!c->chart || !callback) return UIE_BAD_CONTROL;
    auto* save = new QAction(QString::fromUtf8("Save picture\u2026"), c->w);
    QObject::connect(save, &QAction::triggered, c->w, [panel, control, callback] { callback(panel, control); });
    c->w->addAction(save);
    c->w->setContextMenuPolicy(Qt::ActionsContextMenu);
    c->w->setFocusPolicy(Qt::StrongFocus); // Tab brings the keyboard here for the context-menu key
    return 0;
}

int SavePicture(int panel, int control, const char* path, PictureFormat format, double scale,
                const std::vector<std::pair<std::string, std::string>>& texts) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (!c->chart) return UIE_BAD_CONTROL;
    if (!path || !*path || !(scale >= 1 && scale <= 8)) return UIE_BAD_VALUE;
    const QString file = QString::fromUtf8(path);
    const QString title = QString::fromStdString(c->label);
    const QSize size = c->box->size();
    if (format == PictureFormat::Svg) {
        QStringList lines;
        for (const auto& [key, value] : texts) lines << QString::fromStdString(key + ": " + value);
        QSvgGenerator svg;
        svg.setFileName(file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(c->box->logicalDpiX()); // fonts as big as on the screen
        svg.setTitle(title);
        svg.setDescription(lines.join('\n'));
        QPainter p;
        if (!p.begin(&svg)) return UIE_FILE_ERROR;
        PaintCtrl(*c, p);
        return p.end() ? 0 : UIE_FILE_ERROR;
    }
    const qreal dpr = c->box->devicePixelRatioF() * scale;
    QImage image((QSizeF(size) * dpr).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    {
        QPainter p(&image);
        PaintCtrl(*c, p);
    }
    image.setText("Title", title);
    for (const auto& [key, value] : texts) image.setText(QString::fromStdString(key), QString::fromStdString(value));
    return image.save(file, "PNG") ? 0 : UIE_FILE_ERROR;
}
