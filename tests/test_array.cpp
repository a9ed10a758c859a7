#include "array.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Item {
    int id;
    float weight;
};

int idAt(Array* a, int i) { return static_cast<Item*>(array_get(a, i))->id; }

TEST(Array, InsertOpensTheSlotAndKeepsOrder) {
    Array* a = array_create(5, sizeof(Item));
    Item p{1, 1.0f}, q{2, 2.0f}, n{9, 9.0f}, m{7, 7.0f};
    EXPECT_EQ(a->count, 0);
    array_add(a, &p);
    array_add(a, &q);
    EXPECT_EQ(array_insert(a, 0, &n), 1);  // new, p, q
    ASSERT_EQ(a->count, 3);
    EXPECT_EQ(idAt(a, 0), 9);
    EXPECT_EQ(idAt(a, 1), 1);
    EXPECT_EQ(idAt(a, 2), 2);
    EXPECT_FLOAT_EQ(static_cast<Item*>(array_get(a, 2))->weight, 2.0f);
    array_insert(a, 2, &m);  // new, p, m, q
    EXPECT_EQ(idAt(a, 2), 7);
    EXPECT_EQ(idAt(a, 3), 2);
    array_insert(a, a->count, &p);  // at count: same as add
    EXPECT_EQ(a->count, 5);
    EXPECT_EQ(idAt(a, 4), 1);
    array_destroy(a);
}

TEST(Array, SwapSetAndGetAddressSlots) {
    Array* a = array_create(3, sizeof(int));
    for (int v : {10, 20, 30}) array_add(a, &v);
    EXPECT_EQ(array_swap(a, 0, 2), 1);  // r, q, p
    EXPECT_EQ(*static_cast<int*>(array_get(a, 0)), 30);
    EXPECT_EQ(*static_cast<int*>(array_get(a, 1)), 20);
    EXPECT_EQ(*static_cast<int*>(array_get(a, 2)), 10);
    array_swap(a, 1, 1);
    EXPECT_EQ(*static_cast<int*>(array_get(a, 1)), 20);
    int v = 99;
    array_set(a, 1, &v);
    EXPECT_EQ(*static_cast<int*>(array_get(a, 1)), 99);
    // array_get hands out the slot itself, not a copy.
    *static_cast<int*>(array_get(a, 0)) = 5;
    EXPECT_EQ(static_cast<int*>(a->data)[0], 5);
    array_destroy(a);
}

TEST(Array, LargeElementsSwapWhole) {
    struct Big {
        unsigned char bytes[1000];
    };
    Array* a = array_create(2, sizeof(Big));
    Big x, y;
    std::memset(x.bytes, 1, sizeof(x.bytes));
    std::memset(y.bytes, 2, sizeof(y.bytes));
    x.bytes[999] = 11;
    array_add(a, &x);
    array_add(a, &y);
    array_swap(a, 0, 1);
    Big* first = static_cast<Big*>(array_get(a, 0));
    Big* second = static_cast<Big*>(array_get(a, 1));
    EXPECT_EQ(first->bytes[0], 2);
    EXPECT_EQ(first->bytes[999], 2);
    EXPECT_EQ(second->bytes[500], 1);
    EXPECT_EQ(second->bytes[999], 11);
    array_destroy(a);
}

// A fixed array that is full or asked for a slot it does not have leaves its storage alone.
TEST(Array, RefusesSlotsOutsideTheArray) {
    Array* a = array_create(2, sizeof(int));
    int v = 1;
    EXPECT_EQ(array_add(a, &v), 1);
    EXPECT_EQ(array_add(a, &v), 1);
    EXPECT_EQ(array_add(a, &v), 0);
    EXPECT_EQ(array_insert(a, 0, &v), 0);
    EXPECT_EQ(a->count, 2);
    EXPECT_EQ(array_get(a, 2), nullptr);
    EXPECT_EQ(array_get(a, -1), nullptr);
    EXPECT_EQ(array_set(a, 5, &v), 0);
    EXPECT_EQ(array_swap(a, 0, 2), 0);
    array_destroy(a);

    Array* b = array_create(3, sizeof(int));
    EXPECT_EQ(array_insert(b, 1, &v), 0);  // past count
    EXPECT_EQ(b->count, 0);
    array_destroy(b);
}

}  // namespace
