#include "tools/samplegen/sequences.h"

#include <algorithm>
#include <cmath>

namespace samplegen {

namespace {

constexpr float kPi = 3.14159265358979f;

// Every curve below is 0 at t = 0, so each run starts on, and wraps back to, its rest pose.
float wave(float t, float cycles = 1) { return std::sin(2 * kPi * cycles * t); }
float hump(float t) { return std::sin(kPi * t); }  // 0 -> 1 -> 0 over the run

// Jumps as high as the frame allows: the tallest figure standing on tiptoe still fits above it.
constexpr float kMaxLift = 18.0f;

float progress(int frame, int frames) { return static_cast<float>(frame) / static_cast<float>(frames); }

void breathe(Pose& pose, float t, float amount = 0.03f) {
    pose.squashY = 1 + amount * wave(t);
    pose.squashX = 1 - 0.5f * amount * wave(t);
}

// Squashes on take-off and landing, stretches a little in the air.
void jump(Pose& pose, float height) {
    pose.lift = height;
    float air = std::clamp(height / kMaxLift, 0.0f, 1.0f);
    pose.squashY = 0.93f + 0.1f * air;
    pose.squashX = 1.05f - 0.07f * air;
}

Face happyFace() {
    Face face;
    face.smile = 1.0f;
    face.happyEyes = true;
    return face;
}

Face sadFace() {
    Face face;
    face.smile = -0.8f;
    face.sadness = 0.8f;
    face.eyeOpen = 0.85f;
    face.lookY = 0.4f;
    return face;
}

// The robot's chest lights: one wanders while it idles.
int idleLights(int frame) { return 1 << ((frame / 4) % 3); }

// The pose every idle, buzz and look starts from and comes back to.
Pose calm() {
    Pose pose;
    pose.lights = idleLights(0);
    return pose;
}

// ---------------------------------------------------------------------------------------------------
// Idling

Pose waitBreathe(int frame, int frames) {
    Pose pose;
    breathe(pose, progress(frame, frames), 0.035f);
    pose.lights = idleLights(frame);
    return pose;
}

Pose waitBlink(int frame, int frames) {
    Pose pose = waitBreathe(frame, frames);
    int middle = frames / 2;
    if (frame == middle) pose.face.eyeOpen = 0.0f;
    if (frame == middle - 1 || frame == middle + 1) pose.face.eyeOpen = 0.45f;
    return pose;
}

Pose waitLookAround(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose = waitBreathe(frame, frames);
    pose.face.lookX = std::clamp(1.4f * wave(t), -1.0f, 1.0f);
    pose.face.lookY = -0.3f * hump(t);
    return pose;
}

Pose waitSway(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose = waitBreathe(frame, frames);
    pose.lean = 0.06f * wave(t);
    pose.face.lookX = -0.4f * wave(t);
    return pose;
}

Pose waitWave(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose = waitBreathe(frame, frames);
    float up = hump(t) * hump(t);
    pose.armRight = 0.15f + up * (0.7f + 0.1f * wave(t, 3));
    pose.face.smile = 0.3f + 0.6f * up;
    pose.face.lookX = 0.5f * up;
    return pose;
}

Pose waitBob(int frame, int frames) {
    float t = progress(frame, frames);
    if (frame == 0) return calm();
    Pose pose;
    jump(pose, 3.5f * std::fabs(wave(t)));
    pose.lights = idleLights(frame);
    pose.face.smile = 0.5f;
    return pose;
}

Pose waitYawn(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose;
    float yawn = hump(t);
    pose.squashY = 1 + 0.04f * yawn;
    pose.squashX = 1 - 0.02f * yawn;
    pose.face.eyeOpen = std::clamp(1.0f - 1.3f * yawn, 0.0f, 1.0f);
    pose.face.mouthOpen = 0.9f * yawn;
    pose.armLeft = pose.armRight = 0.15f + 0.4f * yawn;
    pose.lights = yawn > 0.5f ? 0 : idleLights(frame);
    return pose;
}

// ---------------------------------------------------------------------------------------------------
// Buzzing in

Pose buzzBounce(int frame, int frames) {
    float t = progress(frame, frames);
    if (frame == 0) return calm();
    Pose pose;
    // Crouch, spring up, land.
    float air = std::clamp((t - 0.12f) / 0.76f, 0.0f, 1.0f);
    jump(pose, (kMaxLift - 2) * std::sin(kPi * air));
    pose.armLeft = pose.armRight = 0.15f + 0.65f * std::sin(kPi * air);
    pose.face.mouthOpen = 0.8f;
    pose.face.lookY = -0.5f;
    pose.lights = frame % 2 ? 7 : 0;
    return pose;
}

Pose buzzDoubleHop(int frame, int frames) {
    float t = progress(frame, frames);
    if (frame == 0) return calm();
    Pose pose;
    jump(pose, 11 * std::fabs(wave(t)));
    pose.armLeft = 0.3f + 0.4f * (0.5f + 0.5f * wave(t, 2));
    pose.armRight = 0.3f + 0.4f * (0.5f - 0.5f * wave(t, 2));
    pose.face.mouthOpen = 1.0f;
    pose.lights = (frame % 3 == 0) ? 5 : 2;
    return pose;
}

Pose buzzJitter(int frame, int frames) {
    float t = progress(frame, frames);
    if (frame == 0) return calm();
    Pose pose;
    float energy = hump(t);
    jump(pose, 9 * energy);
    pose.shiftX = (frame % 2 ? 3.0f : -3.0f) * energy;
    pose.lean = (frame % 2 ? 0.04f : -0.04f) * energy;
    pose.armLeft = pose.armRight = 0.15f + 0.7f * energy;
    pose.face.mouthOpen = 0.6f;
    pose.face.lookX = frame % 2 ? 0.3f : -0.3f;
    pose.lights = frame % 2 ? 7 : 0;
    return pose;
}

// ---------------------------------------------------------------------------------------------------
// Right and wrong answers

Pose cheerJump(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose;
    pose.face = happyFace();
    pose.lights = 4;
    jump(pose, kMaxLift * hump(t));
    pose.armLeft = pose.armRight = 0.35f + 0.6f * hump(t);
    pose.face.mouthOpen = 0.5f * hump(t);
    return pose;
}

Pose cheerPump(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose;
    pose.face = happyFace();
    pose.lights = frame % 2 ? 7 : 4;
    jump(pose, 13 * std::fabs(wave(t)));
    pose.armLeft = pose.armRight = 0.5f + 0.45f * std::fabs(wave(t));
    pose.face.mouthOpen = 0.4f * std::fabs(wave(t));
    return pose;
}

Pose cheerWiggle(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose;
    pose.face = happyFace();
    pose.lights = 1 << (frame % 3);
    jump(pose, 15 * hump(t));
    pose.lean = 0.14f * wave(t, 2);
    pose.armLeft = 0.35f + 0.6f * hump(t) * (0.75f + 0.25f * wave(t, 2));
    pose.armRight = 0.35f + 0.6f * hump(t) * (0.75f - 0.25f * wave(t, 2));
    pose.face.mouthOpen = 0.3f * hump(t);
    return pose;
}

Pose slump(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose;
    pose.face = sadFace();
    pose.lights = 1;
    pose.squashY = 1 - 0.1f * hump(t);
    pose.squashX = 1 + 0.05f * hump(t);
    pose.armLeft = pose.armRight = 0.08f - 0.05f * hump(t);
    pose.face.lookY = 0.4f + 0.6f * hump(t);
    pose.face.eyeOpen = 0.85f - 0.3f * hump(t);
    return pose;
}

Pose headShake(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose;
    pose.face = sadFace();
    pose.lights = 1;
    pose.lean = 0.07f * wave(t, 2) * hump(t);
    pose.face.lookX = -0.8f * wave(t, 2);
    pose.squashY = 1 - 0.04f * hump(t);
    pose.armLeft = pose.armRight = 0.06f;
    return pose;
}

Pose sighWithTear(int frame, int frames) {
    float t = progress(frame, frames);
    Pose pose = slump(frame, frames);
    pose.face.eyeOpen = 0.6f;
    if (frame > 0) pose.tear = static_cast<float>(frame - 1) / static_cast<float>(frames - 2);
    pose.lean = -0.03f * hump(t);
    return pose;
}

// ---------------------------------------------------------------------------------------------------
// Looking aside and freezing

Pose lookAside(int frame, int frames, float side) {
    if (frame == 0) return calm();
    float t = progress(frame, frames);
    Pose pose;
    float turn = hump(t);
    // Leaning further, or lifting the arm higher, would put the hand outside the frame.
    pose.lean = 0.16f * side * turn;
    pose.face.lookX = side * std::min(1.0f, 1.6f * turn);
    (side < 0 ? pose.armLeft : pose.armRight) = 0.15f + 0.1f * turn;
    pose.lights = side < 0 ? 1 : 4;
    return pose;
}

Pose frozen(int frame, int) {
    Pose pose;
    pose.frost = 1.0f;
    pose.sparkle = frame;
    pose.face.smile = -0.3f;
    pose.face.lookY = -0.2f;
    pose.armLeft = pose.armRight = 0.22f;
    pose.squashX = 1.02f;
    pose.squashY = 0.98f;
    return pose;
}

// The penguin flaps instead of waving arms.
Pose penguinBuzz(int frame, int frames) {
    Pose pose = buzzBounce(frame, frames);
    if (frame > 0) pose.armLeft = pose.armRight = 0.3f + 0.25f * (frame % 2);
    return pose;
}

Pose penguinFlap(int frame, int frames) {
    Pose pose = buzzDoubleHop(frame, frames);
    if (frame > 0) pose.armLeft = pose.armRight = 0.25f + 0.35f * (frame % 2);
    return pose;
}

}  // namespace

std::vector<SequenceSpec> pawnSequences() {
    return {
        {"wait01", 14, waitBreathe},
        {"wait02", 14, waitBlink},
        {"wait03", 16, waitLookAround},
        {"wait04", 14, waitSway},
        {"wait05", 16, waitWave},
        {"wait06", 12, waitBob},
        {"wait07", 16, waitYawn},
        {"buzz01", 10, buzzBounce},
        {"buzz02", 12, buzzDoubleHop},
        {"buzz03", 12, buzzJitter},
        {"hppy01", 14, cheerJump},
        {"hppy02", 14, cheerPump},
        {"hppy03", 14, cheerWiggle},
        {"uhppy01", 14, slump},
        {"uhppy02", 14, headShake},
        {"uhppy03", 14, sighWithTear},
        {"l_left", 12, [](int frame, int frames) { return lookAside(frame, frames, -1.0f); }},
        {"l_rght", 12, [](int frame, int frames) { return lookAside(frame, frames, 1.0f); }},
        {"freeze", 8, frozen},
    };
}

std::vector<SequenceSpec> penguinSequences() {
    return {
        {"wait01", 14, waitBreathe},
        {"wait02", 14, waitBlink},
        {"wait03", 16, waitLookAround},
        {"buzz01", 10, penguinBuzz},
        {"buzz02", 12, penguinFlap},
        {"buzz03", 12, buzzJitter},
        {"freeze", 8, frozen},
    };
}

}  // namespace samplegen
