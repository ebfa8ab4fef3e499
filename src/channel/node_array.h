// Channel node arrays: one value per node of every link, read and written as
// a[node][link] or a(node, link).
//
// The values are stored link by link: the nodes 0..rows-1 of link l lie next
// to each other at l x rows, so a walk along a link (the inner loop of every
// channel kernel) reads contiguous memory. The same shape serves the
// break-point depth tables, indexed [depth step][table] and stored table by
// table. Rows are nodes (or steps) 0..rows-1 and columns links (or tables)
// 0..cols-1; a new array is filled with one value (zero by default).
#pragma once
#include <algorithm>
#include <cstddef>
#include <vector>

template <class T>
class basic_node_array {
public:
    // One node row seen through the array: a[node][link].
    class row_ref {
    public:
        row_ref(basic_node_array* a, size_t node) : a_(a), node_(node) {}
        T& operator[](size_t link) const { return a_->v_[link * a_->rows_ + node_]; }
        size_t size() const { return a_->cols_; }
    private:
        basic_node_array* a_;
        size_t node_;
    };
    class const_row_ref {
    public:
        const_row_ref(const basic_node_array* a, size_t node) : a_(a), node_(node) {}
        const T& operator[](size_t link) const { return a_->v_[link * a_->rows_ + node_]; }
        size_t size() const { return a_->cols_; }
    private:
        const basic_node_array* a_;
        size_t node_;
    };

    basic_node_array() = default;
    basic_node_array(size_t rows, size_t cols, const T& value = T()) { assign(rows, cols, value); }
    // rows copies of one row (the shape of a vector of rows).
    basic_node_array(size_t rows, const std::vector<T>& row) { assign(rows, row); }

    void assign(size_t rows, size_t cols, const T& value = T()) {
        rows_ = rows;
        cols_ = cols;
        v_.assign(rows * cols, value);
    }
    void assign(size_t rows, const std::vector<T>& row) {
        rows_ = rows;
        cols_ = row.size();
        v_.resize(rows_ * cols_);
        for (size_t l = 0; l < cols_; ++l)
            std::fill(v_.begin() + static_cast<std::ptrdiff_t>(l * rows_),
                      v_.begin() + static_cast<std::ptrdiff_t>((l + 1) * rows_), row[l]);
    }
    void fill(const T& value) { std::fill(v_.begin(), v_.end(), value); }
    void clear() {
        v_.clear();
        rows_ = cols_ = 0;
    }
    void shrink_to_fit() { v_.shrink_to_fit(); }

    size_t size() const { return rows_; }   // node rows (as a vector of rows would give)
    size_t rows() const { return rows_; }
    size_t cols() const { return cols_; }
    bool empty() const { return v_.empty(); }
    // True when (node, link) lies inside the array.
    bool has(long node, long link) const {
        return node >= 0 && link >= 0 && static_cast<size_t>(node) < rows_ &&
               static_cast<size_t>(link) < cols_;
    }

    row_ref operator[](size_t node) { return row_ref(this, node); }
    const_row_ref operator[](size_t node) const { return const_row_ref(this, node); }
    T& operator()(size_t node, size_t link) { return v_[link * rows_ + node]; }
    const T& operator()(size_t node, size_t link) const { return v_[link * rows_ + node]; }

    // The nodes 0..rows-1 of one link, contiguous.
    T* link_data(size_t link) { return v_.data() + link * rows_; }
    const T* link_data(size_t link) const { return v_.data() + link * rows_; }
    T* data() { return v_.data(); }
    const T* data() const { return v_.data(); }

private:
    size_t rows_ = 0;
    size_t cols_ = 0;
    std::vector<T> v_;
};

using node_array = basic_node_array<double>;   // doubles [node][link]
using int_node_array = basic_node_array<int>;  // ints [node][link]
