// SPDX-License-Identifier: Apache-2.0
#include "ui/frame/icons.h"

#include <QDirIterator>
#include <QPainter>
#include <QPainterPath>

namespace corvix::ui {
namespace {

constexpr int Cell = 16;

void DrawComputer(QPainter& p, int x, int y, const QColor& screen) {
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(190, 190, 190));
    p.drawRect(x, y, 8, 6);
    p.setBrush(screen);
    p.drawRect(x + 1, y + 1, 6, 4);
    p.setBrush(QColor(150, 150, 150));
    p.drawRect(x + 1, y + 7, 6, 2);
}

void DrawOpenFolder(QPainter& p, int x) {
    p.setPen(QColor(140, 100, 0));
    p.setBrush(QColor(230, 190, 60));
    p.drawRect(x + 1, 3, 12, 10);
    p.drawRect(x + 1, 2, 5, 1);
    QPainterPath flap;
    flap.moveTo(x + 1, 13);
    flap.lineTo(x + 4, 7);
    flap.lineTo(x + 15, 7);
    flap.lineTo(x + 12, 13);
    flap.closeSubpath();
    p.setBrush(QColor(250, 220, 110));
    p.drawPath(flap);
}

void DrawFolderWithSheet(QPainter& p, int x) {
    p.setPen(QColor(140, 100, 0));
    p.setBrush(QColor(230, 190, 60));
    p.drawRect(x + 1, 5, 13, 9);
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    p.drawRect(x + 4, 1, 8, 10);
    p.drawLine(x + 6, 4, x + 10, 4);
    p.drawLine(x + 6, 6, x + 10, 6);
    p.drawLine(x + 6, 8, x + 10, 8);
    p.setPen(QColor(140, 100, 0));
    p.setBrush(QColor(240, 205, 90));
    p.drawRect(x + 1, 9, 13, 5);
}

QPixmap Canvas(int w, int h) {
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}

}  // namespace

QPixmap TreeImageStrip() {
    QPixmap strip = Canvas(6 * Cell, Cell);
    QPainter p(&strip);
    // 0: two grey computers
    DrawComputer(p, 0, 1, QColor(120, 120, 120));
    DrawComputer(p, 7, 5, QColor(120, 120, 120));
    // 1: two linked computers with blue screens
    DrawComputer(p, 16, 1, QColor(40, 90, 220));
    DrawComputer(p, 23, 5, QColor(40, 90, 220));
    p.setPen(QColor(0, 0, 0));
    p.drawLine(20, 10, 20, 14);
    p.drawLine(20, 14, 26, 14);
    // 2: a single computer
    DrawComputer(p, 36, 3, QColor(40, 90, 220));
    // 3 and 4: an open folder
    DrawOpenFolder(p, 48);
    DrawOpenFolder(p, 64);
    // 5: a folder with a sheet of paper
    DrawFolderWithSheet(p, 80);
    return strip;
}

std::vector<QIcon> TreeImages() {
    const QPixmap strip = TreeImageStrip();
    std::vector<QIcon> icons;
    for (int i = 0; i < 6; ++i) icons.emplace_back(strip.copy(i * Cell, 0, Cell, Cell));
    return icons;
}

QIcon ToolIcon(ToolImage image) {
    QPixmap pm = Canvas(16, 15);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (image) {
        case ToolImage::Import: {
            DrawOpenFolder(p, 0);
            p.setPen(QPen(QColor(0, 120, 0), 2));
            p.drawLine(11, 1, 11, 6);
            p.drawLine(9, 4, 11, 6);
            p.drawLine(13, 4, 11, 6);
            break;
        }
        case ToolImage::Save: {
            p.setPen(QColor(30, 30, 80));
            p.setBrush(QColor(60, 80, 170));
            p.drawRect(1, 1, 13, 13);
            p.setBrush(Qt::white);
            p.drawRect(3, 1, 9, 5);
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(4, 9, 7, 5);
            break;
        }
        case ToolImage::SerialPort: {
            // a nine-pin connector shell with its pins
            p.setPen(QColor(40, 40, 40));
            p.setBrush(QColor(180, 180, 190));
            QPolygon shell;
            shell << QPoint(1, 3) << QPoint(14, 3) << QPoint(12, 11) << QPoint(3, 11);
            p.drawPolygon(shell);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 40, 40));
            for (int i = 0; i < 5; ++i) p.drawRect(3 + 2 * i, 5, 1, 1);
            for (int i = 0; i < 4; ++i) p.drawRect(4 + 2 * i, 8, 1, 1);
            break;
        }
        case ToolImage::Connect: {
            p.setPen(QColor(0, 90, 0));
            p.setBrush(QColor(60, 180, 60));
            p.drawRect(1, 5, 6, 5);
            p.drawRect(8, 5, 6, 5);
            p.drawLine(7, 7, 8, 7);
            p.drawLine(0, 7, 1, 7);
            p.drawLine(14, 7, 15, 7);
            break;
        }
        case ToolImage::Disconnect: {
            p.setPen(QColor(120, 0, 0));
            p.setBrush(QColor(210, 70, 60));
            p.drawRect(0, 5, 5, 5);
            p.drawRect(10, 5, 5, 5);
            p.setPen(QPen(QColor(120, 0, 0), 1));
            p.drawLine(6, 3, 9, 12);
            break;
        }
        case ToolImage::Undo:
        case ToolImage::Redo: {
            // a curved arrow, pointing left for undo and right for redo
            const bool left = image == ToolImage::Undo;
            auto x = [left](int v) { return left ? v : 15 - v; };
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(QPen(QColor(30, 70, 150), 2));
            p.setBrush(Qt::NoBrush);
            QPainterPath path;
            path.moveTo(x(4), 6);
            path.cubicTo(x(10), 3, x(15), 7, x(11), 13);
            p.drawPath(path);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(30, 70, 150));
            QPolygon head;
            head << QPoint(x(1), 6) << QPoint(x(6), 2) << QPoint(x(6), 10);
            p.drawPolygon(head);
            break;
        }
    }
    p.end();
    return QIcon(pm);
}

QIcon AppIcon() {
    // The PNGs the desktop shows, rendered from data/icons at build time and built in.
    QIcon icon;
    QDirIterator it(QStringLiteral(":/app-icon"), {QStringLiteral("*.png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) icon.addFile(it.next());
    return icon;
}

}  // namespace corvix::ui
