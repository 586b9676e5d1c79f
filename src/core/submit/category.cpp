#include "core/submit/category.h"

namespace tesselwick {
std::string ExtractCategoryText(std::string_view) { return {}; }
}  // namespace tesselwick
