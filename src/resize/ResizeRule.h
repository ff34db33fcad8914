#pragma once

#include <QString>
#include <optional>

// What the rule controls decide for one image: whether it is above the resize limit, by which
// dimension a limit resize scales it, and the geometry option handed to the image processor.
class ResizeRule
{
public:
    enum class Dimension
    {
        Width,
        Height
    };

    struct LimitTest
    {
        bool exceeds = false;
        Dimension scaleBy = Dimension::Height;
    };

    // The limit tests for an image of the given size against a limit text such as "600W" (the
    // letters count in either case; "600WH" applies both tests).
    static LimitTest test(const QString &limitText, int width, int height);

    // True for the modes that resize every image whatever its size.
    static bool resizesAll(const QString &mode);

    // The option for a resized image, or nothing for a mode that converts nothing.
    static std::optional<QString> option(const QString &mode, const QString &percentText,
                                         const QString &limitText, int width, int height, Dimension scaleBy);

    // The option for a thumbnail of the given size text ("100x100").
    static QString thumbnailOption(const QString &sizeText);
};
