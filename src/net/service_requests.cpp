#include "net/service_requests.h"
