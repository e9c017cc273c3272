// One substep of simulated time for every ball on the table, in four phases,
// each finished for every ball before the next begins:
//   phase 1, motion: each ball moves by its velocity;
//   phase 2, cushions and pockets (CushionStep);
//   phase 3, collisions between balls (CollisionPhase);
//   phase 4, cloth friction (FrictionStep).
// kSubstepsPerTick substeps make one 40 ms tick. Every formula runs in plain double
// precision in the written order; rest and natural roll are decided by exact
// equality, which the copies and zero stores below produce.
#pragma once

#include "game/state.h"

namespace tavoren {

// The substeps the cycle runs per 40 ms tick.
constexpr int kSubstepsPerTick = 400;

// Advances every ball on the table by one substep, phase by phase.
void StepPhysics(TGameState& s);

// Phase 2 for one ball on the table, after it has moved: drops it into a
// pocket or rebounds it from the cushion it has reached. Sets cushionHit for
// either outcome. Never moves the ball.
void CushionStep(TBall& b, bool& cushionHit);

// Phase 3: every touching, approaching pair exchanges its normal velocity
// components; the cue ball's first contact is recorded in the flags.
void CollisionPhase(TGameState& s);

// Phase 4 for one ball: sliding towards natural roll, or rolling and slowing
// down; side spin decays.
void FrictionStep(TBall& b);

// Plane rotation: x' = x cosA - y sinA, y' = x sinA + y cosA.
void RotateVector(double& x, double& y, double cosA, double sinA);

}  // namespace tavoren
