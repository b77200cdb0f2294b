#include "core/file_crypt.h"
