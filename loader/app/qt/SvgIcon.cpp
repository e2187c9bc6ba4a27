#include "SvgIcon.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QXmlStreamReader>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

struct CPaintStyle {
    QString fill = QStringLiteral("#000000");
    QString stroke = QStringLiteral("none");
    double strokeWidth = 1.0;
    QString lineCap = QStringLiteral("butt");
    double opacity = 1.0;
};

double Number(const QXmlStreamAttributes& attributes, const char* name) {
    return attributes.value(QLatin1String(name)).toDouble();
}

CPaintStyle Inherit(CPaintStyle style, const QXmlStreamAttributes& attributes) {
    if (attributes.hasAttribute(QLatin1String("fill"))) {
        style.fill = attributes.value(QLatin1String("fill")).toString();
    }
    if (attributes.hasAttribute(QLatin1String("stroke"))) {
        style.stroke = attributes.value(QLatin1String("stroke")).toString();
    }
    if (attributes.hasAttribute(QLatin1String("stroke-width"))) {
        style.strokeWidth = Number(attributes, "stroke-width");
    }
    if (attributes.hasAttribute(QLatin1String("stroke-linecap"))) {
        style.lineCap = attributes.value(QLatin1String("stroke-linecap")).toString();
    }
    if (attributes.hasAttribute(QLatin1String("opacity"))) {
        style.opacity *= Number(attributes, "opacity");
    }
    return style;
}

bool Paint(QPainter& painter, const QPainterPath& shape, const CPaintStyle& style) {
    const QColor fill(style.fill);
    const QColor stroke(style.stroke);
    if ((style.fill != QLatin1String("none") && !fill.isValid()) ||
        (style.stroke != QLatin1String("none") && !stroke.isValid())) {
        return false;
    }
    painter.setOpacity(style.opacity);
    painter.setBrush(style.fill == QLatin1String("none") ? QBrush(Qt::NoBrush) : QBrush(fill));
    if (style.stroke == QLatin1String("none")) {
        painter.setPen(Qt::NoPen);
    } else {
        QPen pen(stroke, style.strokeWidth);
        pen.setCapStyle(style.lineCap == QLatin1String("round")    ? Qt::RoundCap
                        : style.lineCap == QLatin1String("square") ? Qt::SquareCap
                                                                   : Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
    }
    painter.drawPath(shape);
    return true;
}

// Splits path data into command letters and numbers.
class CPathTokens {
  public:
    explicit CPathTokens(const QString& data) : m_data(data) {}
    void SkipSeparators() {
        while (m_at < m_data.size() && (m_data[m_at].isSpace() || m_data[m_at] == u',')) ++m_at;
    }
    bool AtEnd() {
        SkipSeparators();
        return m_at >= m_data.size();
    }
    bool AtCommand() {
        SkipSeparators();
        return m_at < m_data.size() && m_data[m_at].isLetter() && m_data[m_at] != u'e' &&
               m_data[m_at] != u'E';
    }
    QChar Command() { return m_data[m_at++]; }
    bool Next(double* value) {
        SkipSeparators();
        const qsizetype start = m_at;
        if (m_at < m_data.size() && (m_data[m_at] == u'-' || m_data[m_at] == u'+')) ++m_at;
        while (m_at < m_data.size() && (m_data[m_at].isDigit() || m_data[m_at] == u'.' ||
                                        m_data[m_at] == u'e' || m_data[m_at] == u'E' ||
                                        ((m_data[m_at] == u'-' || m_data[m_at] == u'+') &&
                                         (m_data[m_at - 1] == u'e' || m_data[m_at - 1] == u'E')))) {
            ++m_at;
        }
        bool ok = false;
        *value = m_data.mid(start, m_at - start).toDouble(&ok);
        return ok;
    }

  private:
    QString m_data;
    qsizetype m_at = 0;
};

double Angle(double ux, double uy, double vx, double vy) {
    return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
}

// SVG's endpoint arc as Qt's centre arc; the current point is its start.
void ArcTo(QPainterPath* path, double rx, double ry, bool large, bool sweep, QPointF to) {
    const QPointF from = path->currentPosition();
    const double x1 = (from.x() - to.x()) / 2;
    const double y1 = (from.y() - to.y()) / 2;
    rx = std::abs(rx);
    ry = std::abs(ry);
    if (rx == 0 || ry == 0 || (x1 == 0 && y1 == 0)) {
        path->lineTo(to);
        return;
    }
    const double lambda = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
    if (lambda > 1) {
        rx *= std::sqrt(lambda);
        ry *= std::sqrt(lambda);
    }
    const double numerator = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    const double denominator = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    const double coefficient =
        (large != sweep ? 1.0 : -1.0) * std::sqrt(std::max(0.0, numerator / denominator));
    const double cx1 = coefficient * rx * y1 / ry;
    const double cy1 = -coefficient * ry * x1 / rx;
    const QPointF centre(cx1 + (from.x() + to.x()) / 2, cy1 + (from.y() + to.y()) / 2);
    const double start = Angle(1, 0, (x1 - cx1) / rx, (y1 - cy1) / ry);
    double extent = Angle((x1 - cx1) / rx, (y1 - cy1) / ry, (-x1 - cx1) / rx, (-y1 - cy1) / ry);
    if (!sweep && extent > 0) extent -= 2 * std::numbers::pi;
    if (sweep && extent < 0) extent += 2 * std::numbers::pi;
    // Qt measures angles counter-clockwise on screen, SVG clockwise.
    const double toDegrees = 180.0 / std::numbers::pi;
    path->arcTo(QRectF(centre.x() - rx, centre.y() - ry, 2 * rx, 2 * ry), -start * toDegrees,
                -extent * toDegrees);
}

bool ParsePath(const QString& data, QPainterPath* path) {
    CPathTokens tokens(data);
    QChar command;
    while (!tokens.AtEnd()) {
        if (tokens.AtCommand()) command = tokens.Command();
        const bool relative = command.isLower();
        const QPointF origin = relative ? path->currentPosition() : QPointF();
        double v[7];
        switch (command.toUpper().unicode()) {
            case u'M':
            case u'L':
                if (!tokens.Next(&v[0]) || !tokens.Next(&v[1])) return false;
                if (command.toUpper() == u'M') {
                    path->moveTo(origin + QPointF(v[0], v[1]));
                    command = relative ? u'l' : u'L';  // further pairs are lines
                } else {
                    path->lineTo(origin + QPointF(v[0], v[1]));
                }
                break;
            case u'H':
                if (!tokens.Next(&v[0])) return false;
                path->lineTo((relative ? origin.x() : 0) + v[0], path->currentPosition().y());
                break;
            case u'V':
                if (!tokens.Next(&v[0])) return false;
                path->lineTo(path->currentPosition().x(), (relative ? origin.y() : 0) + v[0]);
                break;
            case u'A':
                for (double& value : v) {
                    if (!tokens.Next(&value)) return false;
                }
                if (v[2] != 0) return false;  // rotated arcs are beyond the subset
                ArcTo(path, v[0], v[1], v[3] != 0, v[4] != 0, origin + QPointF(v[5], v[6]));
                break;
            case u'Z':
                path->closeSubpath();
                if (!tokens.AtEnd() && !tokens.AtCommand()) return false;
                break;
            default:
                return false;
        }
    }
    return true;
}

bool Shape(const QStringView element, const QXmlStreamAttributes& a, QPainterPath* shape) {
    if (element == u"rect") {
        const QRectF box(Number(a, "x"), Number(a, "y"), Number(a, "width"), Number(a, "height"));
        const double rx = Number(a, "rx");
        const double ry = a.hasAttribute(QLatin1String("ry")) ? Number(a, "ry") : rx;
        shape->addRoundedRect(box, rx, ry);
    } else if (element == u"circle") {
        const double r = Number(a, "r");
        shape->addEllipse(QPointF(Number(a, "cx"), Number(a, "cy")), r, r);
    } else if (element == u"line") {
        shape->moveTo(Number(a, "x1"), Number(a, "y1"));
        shape->lineTo(Number(a, "x2"), Number(a, "y2"));
    } else if (element == u"path") {
        return ParsePath(a.value(QLatin1String("d")).toString(), shape);
    } else {
        return false;
    }
    return true;
}

}  // namespace

QImage RenderSvgIcon(const QByteArray& document, int size) {
    QXmlStreamReader reader(document);
    if (!reader.readNextStartElement() || reader.name() != u"svg") return {};
    const QStringList viewBox = reader.attributes()
                                    .value(QLatin1String("viewBox"))
                                    .toString()
                                    .split(u' ', Qt::SkipEmptyParts);
    if (viewBox.size() != 4 || viewBox[2].toDouble() <= 0 || viewBox[3].toDouble() <= 0) {
        return {};
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / viewBox[2].toDouble(), size / viewBox[3].toDouble());
    painter.translate(-viewBox[0].toDouble(), -viewBox[1].toDouble());

    std::vector<CPaintStyle> styles{Inherit(CPaintStyle(), reader.attributes())};
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (reader.name() == u"g") styles.pop_back();
            continue;
        }
        if (token != QXmlStreamReader::StartElement) continue;
        const CPaintStyle style = Inherit(styles.back(), reader.attributes());
        if (reader.name() == u"g") {
            styles.push_back(style);
            continue;
        }
        QPainterPath shape;
        if (!Shape(reader.name(), reader.attributes(), &shape) || !Paint(painter, shape, style)) {
            return {};
        }
    }
    if (reader.hasError()) return {};
    return image;
}
