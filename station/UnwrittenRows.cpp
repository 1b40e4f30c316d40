#include "UnwrittenRows.h"

#include <fcntl.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace kv37 {

std::string UnwrittenPath(const std::string& database) {
  return database + ".unwritten";
}

std::optional<std::string> KeepUnwritten(const std::string& database,
                                         const std::vector<UnitRow>& rows) {
  std::string text;
  for (const UnitRow& row : rows)
    text += QJsonDocument(UnitRowJson(row)).toJson(QJsonDocument::Compact).toStdString() + "\n";
  const std::string path = UnwrittenPath(database);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return path + ": " + std::strerror(errno);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool kept = done == text.size() && fsync(fd) == 0;
  const int error = errno;
  close(fd);
  if (!kept) return path + ": " + std::strerror(error);
  return std::nullopt;
}

std::vector<UnitRow> ReadUnwritten(const std::string& database) {
  std::vector<UnitRow> rows;
  std::ifstream in(UnwrittenPath(database));
  for (std::string line; std::getline(in, line);) {
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    if (auto row = UnitRowFromJson(json.object())) rows.push_back(std::move(*row));
  }
  return rows;
}

void ForgetUnwritten(const std::string& database) {
  unlink(UnwrittenPath(database).c_str());
}

}  // namespace kv37
