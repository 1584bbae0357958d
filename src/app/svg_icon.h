// Icons for the toolbar: the desktop theme's icon when it has one, else our own SVG drawn at
// whatever size and pixel ratio the toolbar asks for.
#pragma once

#include <QIcon>
#include <QString>

namespace quillmap {

// `svg_resource` is a resource path such as ":/icons/new.svg".
QIcon ThemeOrSvgIcon(const QString& theme_name, const QString& svg_resource);

}  // namespace quillmap
