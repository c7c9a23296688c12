#include <gtest/gtest.h>

#include <vector>

#include "core/allocator.h"
#include "host/core/host_engine.h"
#include "media/sprite.h"

TEST(Sprite, CoversItsAreaAtItsPositionAcceptsEveryPointAndRefusesEffects) {
    hostengine::HostEngine host;
    Sprite* sprite = create<Sprite>();
    EXPECT_EQ(sprite->isHidden(), 0);
    for (Point p : {Point(0, 0), Point(INT32_MAX, INT32_MIN)}) EXPECT_EQ(sprite->hitTest(p.x, p.y), 1);
    sprite->setPosition(10, 20);
    sprite->area = Rect(99, 99, 3, 4);  // only the size counts
    for (Rect r : {boundsOf(sprite), touchBoundsOf(sprite)})
        EXPECT_EQ((std::vector<std::int32_t>{r.x, r.y, r.width, r.height}), (std::vector<std::int32_t>{10, 20, 3, 4}));
    EXPECT_EQ(sprite->attach(reinterpret_cast<TextEffect*>(0x1000)), 0);  // never touched when refused
    InterfaceTable* handle = sprite->handle();
    EXPECT_EQ(handle->find<ITouchable>("itouchable"), sprite->touchable());
    EXPECT_EQ(handle->find<IVisible>("IVisible"), sprite->visible());
    destroy(sprite);
    EXPECT_EQ(host.objectRegistry()->head, nullptr) << "both parts leave the registry";
}
