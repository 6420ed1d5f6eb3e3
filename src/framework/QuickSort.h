#pragma once
// The quicksort the lists use: the middle item of each range is the pivot, items are swapped
// across it until the two scans meet. The smaller part is recursed into and the larger looped
// on, so no input (all equal, already sorted, crafted) can run the stack out; the partitions
// are the same as the textbook form that always recurses on the left part. Not stable.
//
// compare(i, j) compares the items at positions i and j; swap(i, j) exchanges them. The pivot
// is followed by position as it moves, so compare always sees the pivot's value.
template <class Compare, class Swap>
void QuickSortRange(int l, int r, const Compare& compare, const Swap& swap) {
  while (l < r) {
    int i = l, j = r, p = l + (r - l) / 2;
    do {
      while (compare(i, p) < 0) ++i;
      while (compare(j, p) > 0) --j;
      if (i <= j) {
        if (i != j) {
          swap(i, j);
          if (p == i)
            p = j;
          else if (p == j)
            p = i;
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - l < r - i) {
      if (l < j) QuickSortRange(l, j, compare, swap);
      l = i;
    } else {
      if (i < r) QuickSortRange(i, r, compare, swap);
      r = j;
    }
  }
}
