#pragma once
// The program's small containers: THanList (a growable pointer list that may own its items
// and reports each deletion), THanTree (nodes under an invisible root, saved to and loaded from
// a plain stream through the owner's events), TStringTagList and SplitToStrings.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/StringList.h"

// A minimal byte stream: what the tree stream and the parsers of this layer need.
class TStream {
 public:
  virtual ~TStream() = default;
  // Returns the number of bytes moved (0 at the end or on failure).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // -1 when the stream cannot tell.
  virtual int64_t Size() const { return -1; }
  virtual int64_t Position() const { return -1; }
  bool ReadBuffer(void* buffer, int32_t count) { return Read(buffer, count) == count; }
  bool WriteBuffer(const void* buffer, int32_t count) { return Write(buffer, count) == count; }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(Bytes.size()); }
  int64_t Position() const override { return static_cast<int64_t>(Pos); }
  void SetPosition(size_t p) { Pos = p < Bytes.size() ? p : Bytes.size(); }
  std::vector<uint8_t> Bytes;

 private:
  size_t Pos = 0;
};

constexpr int MaxHanListCapacity = 0x7FFFFFF;

class THanList {
 public:
  using TCompare = int (*)(void* a, void* b);
  THanList() = default;
  virtual ~THanList();
  THanList(const THanList&) = delete;
  THanList& operator=(const THanList&) = delete;

  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);
  int Remove(void* item);
  int IndexOf(void* item) const;
  void* Get(int index) const;
  void Put(int index, void* item);
  void Clear();
  void SetCapacity(int n);
  void SetCount(int n);
  void Sort(TCompare compare);
  void Exchange(int a, int b);

  int Count() const { return FCount; }
  int Capacity() const { return FCapacity; }
  void* operator[](int index) const { return Get(index); }

  // An owning list: Clear frees every non-null item through free (the pointers carry no type,
  // so owning and the way to free are one setting). An empty function makes the list not
  // owning. Delete and Remove never free: the item goes back to the caller.
  void SetOwnsObjects(std::function<void(void* item)> free) { FFreeObject = std::move(free); }
  template <class T>
  void SetOwnsObjectsOf() {
    FFreeObject = [](void* item) { delete static_cast<T*>(item); };
  }
  bool OwnsObjects() const { return static_cast<bool>(FFreeObject); }
  // Called before an item leaves the list.
  std::function<void(THanList* sender, void* item)> OnDelete;

 protected:
  virtual void Grow();
  virtual void Notify(void* item);

 private:
  void** Items() const { return FList.get() + FHead; }
  // Moves the items to the front of the array so that the free slots are all at the end.
  void Compact();

  std::unique_ptr<void*[]> FList;
  // The items are FList[FHead .. FHead + FCount - 1]: deleting near the front moves the head
  // instead of the whole tail, so emptying a list from its first item is linear.
  int FHead = 0;
  int FCount = 0;
  int FCapacity = 0;
  std::function<void(void* item)> FFreeObject;
};

struct THanNode;
using PHanNode = THanNode*;
struct THanNode {
  PHanNode Parent = nullptr;
  void* Data = nullptr;
  THanList Children;  // of PHanNode, not owning
};

class THanTree {
 public:
  using TForEach = void (*)(PHanNode node, int absIndex, bool& cont, void* user);
  THanTree();
  // Frees the node records still in the tree without firing OnDeleteNode: the owner may be
  // half destroyed by now. An owner whose nodes carry data calls Clear first.
  virtual ~THanTree();
  THanTree(const THanTree&) = delete;
  THanTree& operator=(const THanTree&) = delete;

  PHanNode Root() const { return FRoot.get(); }
  int Count() const { return FCount; }

  PHanNode AddChild(PHanNode parent, void* data);
  // Returns nil and changes nothing when index is outside 0..child count.
  PHanNode InsertChild(PHanNode parent, int index, void* data);
  // nil and the root are refused.
  void DeleteNode(PHanNode node);
  void Clear();
  // Refused (false) when node is nil or the root, or newParent lies in node's own subtree.
  bool MoveNode(PHanNode node, PHanNode newParent);
  void ForEach(TForEach callback, void* user) const;
  PHanNode GetNode(int absIndex) const;

  virtual bool SaveToStream(TStream& stream);
  // On a short or damaged stream the tree is cleared and false returned.
  virtual bool LoadFromStream(TStream& stream);
  virtual bool SaveNode(PHanNode node, TStream& stream);
  // On failure the nodes this call added are removed again and false returned.
  virtual bool LoadNode(PHanNode node, TStream& stream);

  std::function<bool(THanTree* sender, PHanNode node, TStream& stream)> OnSaveNode;
  // Reads exactly what OnSaveNode wrote; false marks the stream as damaged.
  std::function<bool(THanTree* sender, PHanNode node, TStream& stream)> OnLoadNode;
  std::function<void(THanTree* sender, PHanNode node, void* data)> OnDeleteNode;

 protected:
  virtual bool DoSaveNode(PHanNode node, TStream& stream);
  virtual bool DoLoadNode(PHanNode node, TStream& stream);
  virtual void DoDeleteNode(PHanNode node, void* data);

 private:
  // Deletes node and its subtree depth first: each node's children, first to last, before
  // the node; each node leaves its parent's children, then OnDeleteNode sees it.
  void FreeSubtree(PHanNode node, bool notify);
  std::unique_ptr<THanNode> FRoot;
  int FCount = 0;
};

// A string list whose object slot holds an integer tag.
class TStringTagList : public TStringList {
 public:
  int GetTag(int index) const;
  void SetTag(int index, int tag);
  int AddTag(const std::wstring& s, int tag);
};

// Clears dest and adds every piece of source's whole text between separators (sep, and the
// line ends), trimmed of blanks and control characters; empty pieces are skipped.
void SplitToStrings(const TStringList& source, TStringList& dest, wchar_t sep);
