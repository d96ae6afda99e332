#include "platform/imagebox/imagebox_error.h"

namespace tf {

ImageBoxError::ImageBoxError(int32_t number, const QString& description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

QString errorText(const std::exception& e)
{
    if (const auto* box = dynamic_cast<const ImageBoxError*>(&e)) return box->description();
    return QString::fromLocal8Bit(e.what());
}

} // namespace tf
