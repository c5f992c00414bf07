#include "platform/ui/Font.h"

#include "platform/ui/Geometry.h"

#include <QFont>
#include <QFontMetricsF>
#include <QString>

namespace tx {

QFont Font::qfont() const {
    QFont font(QStringLiteral("DejaVu Sans"));
    // Point sizes of the kit are drawing units: the painter already carries the screen scale.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(_pointSize))));
    font.setBold(_bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

double Font::lineHeight() const {
    return QFontMetricsF(qfont()).height();
}

Size Font::sizeOfText(const std::string& text) const {
    QFontMetricsF metrics(qfont());
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

} // namespace tx
