// taluvex-record's options and manual, in one table.
#pragma once

#include "platform/foundation/CommandLine.h"

namespace tx {

const CommandSpec& recordCommand();

} // namespace tx
