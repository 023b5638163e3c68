// Makes the theme's sizes of the application icon from its one source
// picture: icon_scale SOURCE SIZE OUTPUT.png
//
// The source is a small 16-colour picture. Growing it smoothly would blur
// it, so it is first grown by whole pixels to at least the wanted size and
// only then brought down smoothly to that size.

#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fputs("usage: icon_scale SOURCE SIZE OUTPUT.png\n", stderr);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[3]);
    const int size = std::atoi(argv[2]);
    if (size < 1 || size > 1024) {
        std::fprintf(stderr, "icon_scale: size %s is not between 1 and 1024\n", argv[2]);
        return 2;
    }
    QImage image(source);
    if (image.isNull() || image.width() != image.height()) {
        std::fprintf(stderr, "icon_scale: %s: not a readable square picture\n", argv[1]);
        return 1;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    const int factor = (size + image.width() - 1) / image.width();
    if (factor > 1)
        image = image.scaled(image.width() * factor, image.height() * factor, Qt::IgnoreAspectRatio,
                             Qt::FastTransformation);
    if (image.width() != size)
        image = image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!image.save(output, "PNG")) {
        std::fprintf(stderr, "icon_scale: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
