// Superjunction heads: the storage balance of every junction, with the end
// relations of its superlinks, as one linear system solved by LU
// factorisation with partial pivoting and implicit row scaling.
#pragma once
#include <vector>

struct run_state;
struct junction_system;
struct junction_elimination;

// Factorises the n x n row-major matrix `a` in place (Crout, partial
// pivoting, implicit scaling); `pivot` receives the row swaps. False for a
// singular matrix (a row of zeros), after the three-line message on stderr.
bool lu_factor(std::vector<double>& a, int n, std::vector<int>& pivot);

// Solves with the factors; `b` holds the right-hand side and receives the solution.
void lu_solve(const std::vector<double>& a, int n, const std::vector<int>& pivot, std::vector<double>& b);

// The junction system as entries of a sparse matrix (rows and columns from
// 0) with its right-hand side (m3/s): free junction rows scaled as m2/s,
// the rows of outfalls and of junctions held at their hold level the
// identity with that level (m). With `holds` false the held junctions are
// taken as free (the structure every solve can have).
void assemble_junction_system(const run_state& rs, double dt, const std::vector<double>& storage_area,
                              junction_system& sys, bool holds = true);

// Elimination order (minimum degree) and the pattern of every row after
// elimination, from the structure of `sys`.
void order_junction_system(const junction_system& sys, junction_elimination& e);

// Solves `sys` by elimination in the order of `e` into x (m). False, after
// the three-line message on stderr, for a singular system (a row of zeros
// or a zero pivot).
bool solve_junction_system(const junction_system& sys, const junction_elimination& e, std::vector<double>& x);

// Assembles and solves the junction system for interval dt (s) and writes
// the heads (m) into rs.sd_junctions; `storage_area` holds each junction's
// storage including the half pipes at its superlink ends (m2). False, with
// error code 134 set, for a singular system; heads are then left as they were.
bool solve_junction_heads(run_state& rs, double dt, const std::vector<double>& storage_area);
