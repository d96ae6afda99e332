#pragma once
#include <QString>
#include <cstdint>
#include <stdexcept>

namespace tf {

// The one error the image control raises. Callers' error traps catch it and hand number and
// description to the program-wide reporter, as they did with the errors of the Windows control.
class ImageBoxError : public std::runtime_error {
public:
    ImageBoxError(int32_t number, const QString& description);
    int32_t number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int32_t m_number;
    QString m_description;
};

// What an error says: an ImageBoxError's description, any other exception's what().
QString errorText(const std::exception& e);

// Error numbers, in the ranges the program's reporter and traps already know from Visual Basic.
namespace imagebox_error {
inline constexpr int32_t kInvalidArgument = 5;     // "Invalid procedure call or argument"
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kFileAccess = 75;         // "Path/File access error"
inline constexpr int32_t kInvalidFileFormat = 321;
inline constexpr int32_t kInvalidProperty = 380;
inline constexpr int32_t kInvalidPicture = 481;    // no image where one is needed
inline constexpr int32_t kTooLarge = 7;            // "Out of memory": a size we refuse to allocate
// The Windows control refused files it could not decode with E_UNEXPECTED; callers that fall
// back to the shared loader on that number may raise it themselves after LoadFailed.
inline constexpr int32_t kRefused = static_cast<int32_t>(0x8000FFFFu);
} // namespace imagebox_error

} // namespace tf
