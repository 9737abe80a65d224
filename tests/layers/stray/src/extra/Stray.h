#pragma once

// A folder that is no layer: the layer check must ask for it to be placed in the order.
