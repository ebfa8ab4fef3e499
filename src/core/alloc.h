// Plain array allocators: 1-based arrays of n+1 zeroed elements and
// contiguous 2-D and 3-D blocks with row (and plane) pointer tables.
// 1-D arrays are freed by their owner with delete[]; 2-D and 3-D blocks with
// free_block_2d / free_block_3d. Sizes are highest indices: n gives 0..n.
#pragma once

void alloc_double_array(double*& out, int n, const char* name);
void alloc_int_array(int*& out, int n, const char* name);
void alloc_double_2d(int rows, int cols, double**& out, const char* name);
void alloc_char_2d(int rows, int cols, char**& out, const char* name);
void alloc_int_2d(int**& out, int rows, int cols, const char* name);
void alloc_double_3d(int a, int b, int c, double***& out, const char* name);

double** make_double_2d(int rows, int cols);
int** make_int_2d(int rows, int cols);
char** make_char_2d(int rows, int cols);
double*** make_double_3d(int a, int b, int c);
int*** make_int_3d4(int a, int b);

void fill_double_2d(double** grid, int rows, int cols, double value);
void fill_double_3d(double*** block, int a, int b, int c, double value);

template <class T> void free_block_2d(T**& grid);
template <class T> void free_block_3d(T***& block);

extern template void free_block_2d<double>(double**&);
extern template void free_block_2d<int>(int**&);
extern template void free_block_2d<char>(char**&);
extern template void free_block_3d<double>(double***&);
extern template void free_block_3d<int>(int***&);
