// Stored mail in the device tree.
#pragma once

// Announces every stored mail to the device tree: one type-144 record per
// mail through add_to_tree, which adds a router and its e-mail row when
// they are missing. Run at start-up after the tree is filled from the
// database, and after every rebuild of the tree.
void put_email_to_tree();
