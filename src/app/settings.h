#pragma once

// Moved to settings/; this header only forwards there.
#include "settings/settings.h"
