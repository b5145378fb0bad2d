// The faces both programs draw their texts with. They are chosen here, not
// left to the desktop's default sans font, which on a machine without
// DejaVu is often a CJK face that draws Latin text too wide and too grey.
#pragma once

#include <QFont>
#include <QStringList>

namespace zr417 {

// `faces` that are installed, in order, else Liberation Sans (the metric
// twin of Arial the programs are packaged with); then the CJK faces that
// draw the Chinese texts.
QStringList ProgramFontFamilies(const QStringList& faces = {QStringLiteral("Arial")});

// A font of those families.
QFont ProgramFont(const QStringList& faces = {QStringLiteral("Arial")});

// `font` at the largest pixel size whose character cell (ascent plus
// descent) is at most `cellHeight` pixels. A Windows font height is the
// cell's, not the em's, which is smaller (Tahoma's 16-pixel cell is a
// 13-pixel em).
QFont WithCellHeight(QFont font, int cellHeight);

// Makes ProgramFont(faces), at the default font's size, every widget's
// default. Call once the application object exists.
void UseProgramFont(const QStringList& faces = {QStringLiteral("Arial")});

}  // namespace zr417
