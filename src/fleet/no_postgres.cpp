// Built when libpq was not found: a postgresql:// target says so.
#include "engine.h"

namespace zel_fleet {

std::unique_ptr<Engine> OpenPostgres(const std::string&, std::string& error) {
  error = "PostgreSQL support was not built (libpq was not found)";
  return nullptr;
}

}  // namespace zel_fleet
