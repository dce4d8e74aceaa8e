#pragma once

#include "keywords/MetadataOptimizer.h"
#include "ui/cells/CellContents.h"

#include <optional>

// The "In metadata" cell of a target keyword: whether every word of the keyword is in the name,
// subtitle or keyword field, and which words are missing.
namespace CoverageCell {

// "—" without a coverage record, "Covered" in green, else "Missing: " and the words in orange.
CellContent content(const std::optional<MetadataOptimizer::Coverage> &coverage);

}
