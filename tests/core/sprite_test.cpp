#include <gtest/gtest.h>

#include <vector>

#include "core/allocator.h"
#include "host/core/host_engine.h"
#include "media/sprite.h"

using hostengine::HostEngine;

namespace {

int registryNodes(HostEngine& host) {
    int count = 0;
    for (const RegistryNode* node = host.objectRegistry()->head; node; node = node->next) ++count;
    return count;
}

}  // namespace

TEST(Sprite, DefaultsCoverNothingAcceptEveryPointAndRefuseEffects) {
    HostEngine host;
    Sprite* sprite = create<Sprite>();
    const Rect fresh = boundsOf(sprite);
    EXPECT_EQ(fresh.x | fresh.y | fresh.width | fresh.height, 0);
    EXPECT_EQ(sprite->isHidden(), 0);
    for (Point p : {Point(0, 0), Point(-5, 9), Point(INT32_MAX, INT32_MIN)}) EXPECT_EQ(sprite->hitTest(p.x, p.y), 1);

    sprite->setPosition(10, 20);
    sprite->area = Rect(99, 99, 3, 4);  // only the size counts
    for (Rect r : {boundsOf(sprite), touchBoundsOf(sprite)})
        EXPECT_EQ((std::vector<std::int32_t>{r.x, r.y, r.width, r.height}), (std::vector<std::int32_t>{10, 20, 3, 4}));
    TextEffect* notTaken = reinterpret_cast<TextEffect*>(0x1000);  // never touched when refused
    EXPECT_EQ(sprite->attach(notTaken), 0);
    destroy(sprite);
}

TEST(Sprite, RegistersBothPartsAndRemovesThemAgain) {
    HostEngine host;
    const int before = registryNodes(host);
    Sprite* sprite = create<Sprite>();
    InterfaceTable* handle = sprite->handle();
    ASSERT_EQ(handle->count, 2);
    EXPECT_STREQ(handle->pairs[0].name, "IVisible");
    EXPECT_EQ(handle->find<ITouchable>("itouchable"), sprite->touchable());
    EXPECT_EQ(handle->find<IVisible>("IVisible"), sprite->visible());
    EXPECT_EQ(registryNodes(host), before + 2);
    destroy(sprite);
    EXPECT_EQ(registryNodes(host), before);
}
