#include "net/transfer.h"
