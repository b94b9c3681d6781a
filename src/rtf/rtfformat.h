// What the RTF reader and writer agree on beyond Qt's own text formats.
//
// RTF measures in twips (1/20 point); QTextDocument margins are in pixels at 96 dpi, so one
// pixel is 15 twips. Values are kept as doubles, so twips survive a round trip exactly.
#pragma once

#include <QTextFormat>

namespace RtfFormat {

// Block property: the hanging indent of a list paragraph in twips (the distance from the bullet
// to the text). Qt draws the bullet left of the text and has no such notion itself.
constexpr int HangingIndentProperty = QTextFormat::UserProperty + 1;
// Character property: the Windows charset of the run's font (\fcharset), kept so that a font
// read from a document is written back with the character set it came with.
constexpr int FontCharsetProperty = QTextFormat::UserProperty + 2;

constexpr double TwipsPerPixel = 15.0;

inline double twipsToPixels(int twips)
{
    return twips / TwipsPerPixel;
}

inline int pixelsToTwips(double pixels)
{
    return int(qRound(pixels * TwipsPerPixel));
}

// A run's character formatting as RTF words give it: \fN, \fsN (half points), \b, \i, \ul,
// \strike, \cfN and \highlightN (colour table indexes, 0 automatic), \sub and \super.
struct Character
{
    int font = -1; // none yet
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int foreground = 0;
    int background = 0;
    int vertical = 0; // 1 subscript, 2 superscript
    bool operator==(const Character &) const = default;
};

// The hanging indent given to a bullet that has none (10 points), as the rich-edit control did.
constexpr int DefaultBulletIndentTwips = 200;

} // namespace RtfFormat
