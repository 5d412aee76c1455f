// The display item of a drawing-list node (see drawlistitem.h).
#include "layout/drawlistitem.h"

#include "core/container/obj.h"
#include "core/result.h"
#include "document/edr/node.h"
#include "graphics/drawlist.h"

int DrawListItem_create(Edr_Node *node, ObjHeader **out)
{
    *out = nullptr;
    if (!node || Edr_Node_type(node) != Edr_NodeType_drawList)
        return Res_ok;
    Edr_DrawList **slot = static_cast<Edr_DrawList **>(Edr_Node_payloadOrNull(node));
    Edr_DrawList *list = slot ? *slot : nullptr;
    if (!list || !list->count || list->bounds[0] > list->bounds[2] ||
        list->bounds[1] > list->bounds[3])
        return Res_ok;
    ObjHeader *o = Obj_create(&DrawListItem_class, 0);
    if (!o)
        return Res_noMemory;
    DrawListItemPart *p = static_cast<DrawListItemPart *>(Obj_part(o));
    p->words = list->words;
    p->count = list->count;
    Rect box{list->bounds[0], list->bounds[1], list->bounds[2], list->bounds[3]};
    p->bounds = box;
    Obj_setBox(o, &box);
    o->node = node;
    *out = o;
    return Res_ok;
}
