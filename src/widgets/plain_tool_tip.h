#pragma once
// Tooltips that show names from devices and other programs as they are: a tooltip shows a text
// that looks like markup as markup.

#include <QString>

namespace qev {

QString plainToolTip(const QString& text);

}  // namespace qev
