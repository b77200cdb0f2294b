#include "net/server_selection.h"
