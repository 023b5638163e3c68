#include "MessageText.h"

#include "Windows1252.h"

#include <QByteArrayView>
#include <QStringDecoder>

QString MessageToQString(std::string_view bytes)
{
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    return Windows1252::Decode(bytes);
}
