#pragma once
// The player's own icons, drawn as vectors so they stay sharp at any size and
// need no image files or image plugins at run time.
#include <QIcon>

namespace corvane {

enum class Glyph { Previous, Play, Pause, Stop, Next, Capture, FullScreen };

QIcon PlayerIcon(Glyph glyph);
// The application's icon: four camera cells with a play button over them
// (the same picture as the installed corvaneplayer.svg).
QIcon ApplicationIcon();

}  // namespace corvane
