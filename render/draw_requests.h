// The draw requests: what one live instance asks the painter to draw this
// frame, inserted into the draw list by its definition's kind and layer.
// Dependencies: the instance pool, the scene tables, the draw list.
#pragma once

// Inserts the draw requests of the live instance in slot: an image, a text with
// its shadow and backing, a rectangle or ellipse, its lines, or a polygon.
// Anything out of range (no pool, no live instance, no definition) inserts none.
void emitDrawRequests(int slot);

// The number of text units the text instance in slot shows at its age, for
// typing speed s of its text: age / s for s > 0, age * -s for s < 0; -1 (the
// whole text) for speed 0, once the count reaches the text's length, and for
// an instance without a text.
int visibleCharCount(int slot);
