// taluvex-render's and taluvex-length's options and manual, in one table each.
#pragma once

#include "platform/foundation/CommandLine.h"

namespace tx {

const CommandSpec& renderCommand();
const CommandSpec& lengthCommand();

} // namespace tx
