// The timed events: the @evt table acted on once a frame, before the tick
// update. An event fires in the frame whose tick counter equals its tick, when
// its gate is 0; events fire in table order. Dependencies: the scene tables,
// the instance pool.
#pragma once

// Fires this frame's events: spawns, removals of one definition's instances,
// or removal of every instance. Does nothing while no show runs.
void dispatchEvents(void);
