// A page-layer file that reaches up into the catalog: the layer check refuses it.
#include "jet/catalog/database.h"
