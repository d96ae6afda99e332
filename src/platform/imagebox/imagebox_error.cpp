#include "platform/imagebox/imagebox_error.h"

namespace tf {

ImageBoxError::ImageBoxError(int32_t number, const QString& description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

} // namespace tf
