#include "ImageCheck.h"

#include <QCryptographicHash>
#include <algorithm>
#include <filesystem>

#include "OsImage.h"

namespace kv37 {

ImageCheck CheckImage(const MemoryStream& image, const std::string& path) {
  ImageCheck check;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  // The loader pads only up to the image size, so the file's own bytes are
  // the first fileSize bytes of the stream.
  check.fileSize = ec ? image.Size() : std::min<std::size_t>(image.Size(), size);
  const auto* bytes = reinterpret_cast<const char*>(image.Memory());
  const QByteArray file = QByteArray::fromRawData(bytes, static_cast<qsizetype>(check.fileSize));
  check.sha256 = QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex().toStdString();

  const uint8_t* first = image.Memory();
  if (check.fileSize == 0)
    check.refusal = "is empty: the unit would be sent nothing but 0xFF";
  else if (std::all_of(first, first + check.fileSize, [](uint8_t b) { return b == kPadByte; }))
    check.refusal = "is all 0xFF: it would erase the unit";
  if (check.fileSize > kOsImageSize)
    check.warning = path + " is " + std::to_string(check.fileSize) +
                    " bytes; a unit asks for the first 512 pages (131072 bytes) only";
  return check;
}

ImageInfo LoadCheckedImage(MemoryStream& image, const std::string& path, bool force,
                           const std::string& advice, std::string& warning) {
  try {
    LoadOsImage(image, path);
  } catch (const EFOpenError& e) {
    throw ImageRefused("cannot open image " + path + ": " + e.Reason());
  } catch (const std::exception& e) {
    throw ImageRefused("cannot read image " + path + ": " + e.what());
  }
  const ImageCheck check = CheckImage(image, path);
  if (!check.refusal.empty() && !force)
    throw ImageRefused("image " + path + " " + check.refusal + "; " + advice);
  warning = check.warning;
  return {path, check.fileSize, image.Size(), check.sha256};
}

}  // namespace kv37
