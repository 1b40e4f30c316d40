#include "StationSetup.h"

#include "ImageCheck.h"
#include "Station.h"

namespace kv37 {

StationSetup PrepareStation(const std::string& file, const std::string& database,
                            MemoryStream& image, const std::string& databaseOption) {
  StationSetup setup;
  try {
    setup.spec = ReadStationFile(file);
    setup.image = LoadCheckedImage(
        image, setup.spec.image, false,
        "a station never sends such an image: name the release in 'image =' of " + setup.spec.file,
        setup.warning);
  } catch (const std::runtime_error& e) {
    throw StationRefusal(e.what());
  }
  const StationSpec& spec = setup.spec;
  if (!spec.sha256.empty() && spec.sha256 != setup.image.sha256)
    throw StationRefusal("image " + spec.image + " has SHA-256 " + setup.image.sha256 + ", but " +
                         spec.file + " expects " + spec.sha256 + ": not the image meant");
  if (const std::string shared = SlotsSharingAnAdapter(spec); !shared.empty())
    throw StationRefusal(spec.file + ": " + shared);
  setup.database = database.empty() ? spec.database : database;
  if (setup.database.empty())
    throw StationRefusal(spec.file + ": no unit database; name one with 'database =' in [station]" +
                         (databaseOption.empty() ? "" : " or with " + databaseOption));
  return setup;
}

}  // namespace kv37
