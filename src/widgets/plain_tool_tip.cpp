#include "widgets/plain_tool_tip.h"

#include <QTextDocument>

namespace qev {

QString plainToolTip(const QString& text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text) : text;
}

}  // namespace qev
