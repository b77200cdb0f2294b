#include "core/xml_index.h"
