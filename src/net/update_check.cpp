#include "net/update_check.h"
