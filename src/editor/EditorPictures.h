#pragma once

#include <QImage>

namespace viren {

// The pictures of the program editor, drawn by the program itself.
//
// The command strip: nine 32 x 32 pictures side by side, the picture of
// command kind k (1 start ... 9 ball) at x = (k - 1) x 32. It is both the
// picture inside each flowchart box and the image of the command toolbar.
inline constexpr int kIconSize = 32;
inline constexpr int kIconCount = 9;
QImage DrawIconStrip();

// The state glyphs: eight 8 x 8 pictures, glyph g at x = g x 8.
//  0 blue filled square   (car stop, ball recognition end)
//  1 blue arrow left      (forward, ROBO-Q speed steps, ball follow)
//  2 blue arrow right     (reverse, ball avoid)
//  3 red arrow up         (handle straight)
//  4 red arrow left       (handle left)
//  5 red arrow right      (handle right)
//  6 black filled square  (sound stop)
//  7 black triangle right (sound play, repeat play)
inline constexpr int kGlyphSize = 8;
inline constexpr int kGlyphCount = 8;
QImage DrawGlyphStrip();

// The picture of one kind (1..9) from the strip; a null image otherwise.
QImage CommandPicture(const QImage& strip, int kind);

}  // namespace viren
