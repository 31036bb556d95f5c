#include "serline/media.h"

namespace kq::api::proto {

media::media(QObject* parent)
    : QObject(parent)
{
}

media::~media() = default;

} // namespace kq::api::proto
